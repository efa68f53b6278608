// The engine's seams to the outside world: input lines, output lines, a monotonic clock
// and a uniform random generator. Production wires stdin/stdout, steady_clock and a
// clock-seeded generator; tests and tools wire strings, a manual clock and fixed seeds.
#pragma once

#include <cstdint>
#include <deque>
#include <iosfwd>
#include <string>
#include <string_view>

namespace qm {

// Longest raw line kept after the leading blanks; the rest of a longer line is discarded.
inline constexpr std::size_t kRawLineLimit = 8192;

class ManualClock;

// What a look at the input without waiting found.
enum class Arrival { kLine, kNothingYet, kEnd };

class LineSource {
  public:
    virtual ~LineSource() = default;
    // Reads the next line without its line end and without leading blanks and tabs, keeping
    // at most kRawLineLimit characters, waiting for it. Returns false at the end of input.
    virtual bool readLine(std::string& line) = 0;
    // Takes the next line the same way if a whole one has already arrived; never waits.
    virtual Arrival pollLine(std::string& line) = 0;
};

class Clock {
  public:
    virtual ~Clock() = default;
    // Seconds since start-up.
    virtual double seconds() = 0;
};

class RandomSource {
  public:
    virtual ~RandomSource() = default;
    virtual void seedFromClock(double clockSeconds) = 0;
    // Uniform in [0, 1).
    virtual double next() = 0;
};

struct Platform {
    LineSource& input;
    std::ostream& output;
    Clock& clock;
    RandomSource& random;
};

// Writes one protocol line ending in CR LF and flushes it.
void writeLine(Platform& io, std::string_view text);

// Reads lines from a file descriptor (standard input in production) through a buffer of its
// own, so that what has arrived can be taken without waiting. A partial line stays buffered.
class FdLineSource : public LineSource {
  public:
    explicit FdLineSource(int fd) : fd_(fd) {}
    bool readLine(std::string& line) override;
    Arrival pollLine(std::string& line) override;

  private:
    // Moves buffered bytes into the current line; true once it is whole.
    bool takeBuffered();
    // Reads what the descriptor has into the buffer; false at the end of input or on error.
    bool fill();
    void finishLine(std::string& line);

    int fd_;
    char buffer_[4096];
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    std::string current_;
    bool leading_ = true;
    bool sawAnything_ = false;
    bool ended_ = false;
};

// Lines queued by a test or a tool; the end of the queue is the end of input. A plain line
// reaches the engine when it next waits for input; a line given an arrival time on a manual
// clock can also be taken while the engine thinks, once that clock has reached the time.
class QueueLineSource : public LineSource {
  public:
    void push(std::string line) { lines_.push_back({std::move(line), -1.0}); }
    void pushArriving(std::string line, double seconds) {
        lines_.push_back({std::move(line), seconds});
    }
    void setArrivalClock(const ManualClock* clock) { clock_ = clock; }
    bool empty() const { return lines_.empty(); }
    bool readLine(std::string& line) override;
    Arrival pollLine(std::string& line) override;

  private:
    struct Queued {
        std::string text;
        double arrival;  // negative: when the engine next waits
    };
    std::deque<Queued> lines_;
    const ManualClock* clock_ = nullptr;
};

class SteadyClock : public Clock {
  public:
    SteadyClock();
    double seconds() override;

  private:
    std::int64_t startNs_;
};

// A clock that only moves when told to, optionally by a fixed step at every reading.
class ManualClock : public Clock {
  public:
    explicit ManualClock(double stepPerReading = 0.0) : step_(stepPerReading) {}
    double seconds() override {
        double t = now_;
        now_ += step_;
        return t;
    }
    // The time without moving the clock.
    double now() const { return now_; }
    void set(double t) { now_ = t; }
    void advance(double dt) { now_ += dt; }
    void setStep(double step) { step_ = step; }

  private:
    double now_ = 0.0;
    double step_;
};

// SplitMix64 generator. The doubles come from the top 53 bits, so a given seed gives the same
// sequence on every machine. With followClock the clock reseeds it; without, reseeding is
// ignored and the sequence from the fixed seed continues (tests, bench).
class SplitMixRandom : public RandomSource {
  public:
    SplitMixRandom(std::uint64_t seed, bool followClock)
        : state_(seed), followClock_(followClock) {}
    void seedFromClock(double clockSeconds) override;
    double next() override;

  private:
    std::uint64_t state_;
    bool followClock_;
};

}  // namespace qm

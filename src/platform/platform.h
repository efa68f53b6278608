// The engine's seams to the outside world: input lines, output lines, a monotonic clock
// and a uniform random generator. Production wires stdin/stdout, steady_clock and a
// clock-seeded generator; tests and tools wire strings, a manual clock and fixed seeds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

namespace qm {

// Longest line read whole (after its leading blanks). A longer line is cut to one character
// more than this, so that whoever reads it can tell it was cut (lineWasCut); the rest of it is
// discarded, so memory stays bounded whatever arrives.
inline constexpr std::size_t kLongestLine = std::size_t{1} << 20;

inline bool lineWasCut(const std::string& line) {
    return line.size() > kLongestLine;
}

class ManualClock;

// What a look at the input without waiting found.
enum class Arrival { kLine, kNothingYet, kEnd };

class LineSource {
  public:
    virtual ~LineSource() = default;
    // Reads the next line without its line end (LF or CR LF) and without leading blanks and
    // tabs, waiting for it; a line longer than kLongestLine comes cut. Returns false at the
    // end of input.
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

// Megabytes of the search's position table when nothing else asks for a size: what suits the
// machines the build runs on. Each system's file supplies it.
std::size_t defaultTableMegabytes();

struct Platform {
    LineSource& input;
    std::ostream& output;
    Clock& clock;
    RandomSource& random;
    // What ends every line written: CR LF for xboard; a front end may choose another.
    std::string_view lineEnd = "\r\n";
    // Megabytes of the position table the engine allocates at start-up (the UCI "Hash" option
    // may change it later); in-process engines that are made by the thousand ask for less.
    std::size_t tableMegabytes = defaultTableMegabytes();
};

// Writes one protocol line ending in io.lineEnd and flushes it.
void writeLine(Platform& io, std::string_view text);

// Lines assembled from bytes as they arrive, through a buffer of its own, so that what has
// arrived can be taken without waiting; a partial line stays buffered. Each system supplies
// the bytes (fill).
class ByteLineSource : public LineSource {
  public:
    bool readLine(std::string& line) final;
    Arrival pollLine(std::string& line) final;

  protected:
    enum class Fill { kBytes, kNothingYet, kEnd };
    // Puts bytes that have arrived into buffer[0..got), at most `capacity` of them. With
    // `wait`, waits until there is at least one byte or the input has ended; without, never
    // waits. kEnd once the input has ended (or cannot be read any more).
    virtual Fill fill(char* buffer, std::size_t capacity, std::size_t& got, bool wait) = 0;

  private:
    // Moves buffered bytes into the current line; true once it is whole.
    bool takeBuffered();
    bool refill(bool wait);
    void finishLine(std::string& line);

    char buffer_[4096];
    std::size_t start_ = 0;
    std::size_t end_ = 0;
    std::string current_;
    bool leading_ = true;
    bool sawAnything_ = false;
    bool ended_ = false;
};

// Standard input as this system delivers it.
std::unique_ptr<LineSource> openStandardInput();

// Readies standard input and output for the protocols, once at start-up: every byte written
// reaches the GUI as it is, and every byte read is taken as it came.
void prepareStandardStreams();

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

// Nanoseconds of the system's monotonic clock, as cheap a reading of it as the system offers
// (the search reads it tens of thousands of times a second). Each system's file supplies it.
std::int64_t monotonicNs();

// The system's monotonic clock, in seconds since the clock was made.
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

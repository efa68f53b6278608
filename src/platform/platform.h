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

class LineSource {
  public:
    virtual ~LineSource() = default;
    // Reads the next line without its line end and without leading blanks and tabs, keeping
    // at most kRawLineLimit characters. Returns false at the end of input.
    virtual bool readLine(std::string& line) = 0;
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

// Reads lines from a stream (standard input in production).
class StreamLineSource : public LineSource {
  public:
    explicit StreamLineSource(std::istream& in) : in_(in) {}
    bool readLine(std::string& line) override;

  private:
    std::istream& in_;
};

// Lines queued by a test or a tool; the end of the queue is the end of input.
class QueueLineSource : public LineSource {
  public:
    void push(std::string line) { lines_.push_back(std::move(line)); }
    bool empty() const { return lines_.empty(); }
    bool readLine(std::string& line) override;

  private:
    std::deque<std::string> lines_;
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

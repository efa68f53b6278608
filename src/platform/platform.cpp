#include "platform/platform.h"

#include <time.h>

#include <chrono>
#include <cstring>
#include <istream>
#include <ostream>

namespace qm {

void writeLine(Platform& io, std::string_view text) {
    io.output << text << "\r\n";
    io.output.flush();
}

bool StreamLineSource::readLine(std::string& line) {
    line.clear();
    std::streambuf* buf = in_.rdbuf();
    if (buf == nullptr) return false;
    bool sawAnything = false;
    bool leading = true;
    for (;;) {
        int c = buf->sbumpc();
        if (c == std::char_traits<char>::eof()) {
            if (!sawAnything) return false;
            break;
        }
        sawAnything = true;
        if (c == '\n') break;
        if (leading && (c == ' ' || c == '\t')) continue;
        leading = false;
        if (line.size() < kRawLineLimit) line.push_back(static_cast<char>(c));
    }
    // A line ending in CR LF loses its CR like any line end.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool QueueLineSource::readLine(std::string& line) {
    if (lines_.empty()) return false;
    std::string raw = std::move(lines_.front());
    lines_.pop_front();
    std::size_t start = 0;
    while (start < raw.size() && (raw[start] == ' ' || raw[start] == '\t')) ++start;
    line.assign(raw, start, std::string::npos);
    if (line.size() > kRawLineLimit) line.resize(kRawLineLimit);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

namespace {

// Nanoseconds of the system's monotonic clock. Where there is one, the coarse clock is read:
// it is exact to a few milliseconds, far finer than any move budget, and costs a fraction of
// the precise clock, which matters because the search reads the clock at every unwinding.
std::int64_t monotonicNs() {
#ifdef CLOCK_MONOTONIC_COARSE
    timespec now;
    if (clock_gettime(CLOCK_MONOTONIC_COARSE, &now) == 0)
        return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
#endif
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

SteadyClock::SteadyClock() : startNs_(monotonicNs()) {}

double SteadyClock::seconds() {
    return static_cast<double>(monotonicNs() - startNs_) * 1e-9;
}

void SplitMixRandom::seedFromClock(double clockSeconds) {
    if (!followClock_) return;
    std::uint64_t bits = 0;
    static_assert(sizeof bits == sizeof clockSeconds);
    std::memcpy(&bits, &clockSeconds, sizeof bits);
    std::uint64_t wall = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    state_ ^= bits ^ (wall * 0x9E3779B97F4A7C15ULL);
}

double SplitMixRandom::next() {
    state_ += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53;
}

}  // namespace qm

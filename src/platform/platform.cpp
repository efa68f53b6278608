#include "platform/platform.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ostream>

namespace qm {

void writeLine(Platform& io, std::string_view text) {
    io.output << text << "\r\n";
    io.output.flush();
}

bool FdLineSource::takeBuffered() {
    while (start_ < end_) {
        const char c = buffer_[start_++];
        sawAnything_ = true;
        if (c == '\n') return true;
        if (leading_ && (c == ' ' || c == '\t')) continue;
        leading_ = false;
        if (current_.size() < kRawLineLimit) current_.push_back(c);
    }
    return false;
}

bool FdLineSource::fill() {
    for (;;) {
        const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
        if (n > 0) {
            start_ = 0;
            end_ = static_cast<std::size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        ended_ = true;
        return false;
    }
}

void FdLineSource::finishLine(std::string& line) {
    // A line ending in CR LF loses its CR like any line end.
    if (!current_.empty() && current_.back() == '\r') current_.pop_back();
    line.swap(current_);
    current_.clear();
    leading_ = true;
    sawAnything_ = false;
}

bool FdLineSource::readLine(std::string& line) {
    while (!takeBuffered()) {
        if (ended_ || !fill()) {
            // The last line may lack its line end.
            if (!sawAnything_) return false;
            break;
        }
    }
    finishLine(line);
    return true;
}

Arrival FdLineSource::pollLine(std::string& line) {
    if (!takeBuffered()) {
        if (ended_) return Arrival::kEnd;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0) return Arrival::kNothingYet;
        if (!fill()) return Arrival::kEnd;
        if (!takeBuffered()) return Arrival::kNothingYet;
    }
    finishLine(line);
    return Arrival::kLine;
}

namespace {

void takeQueued(std::string raw, std::string& line) {
    std::size_t start = 0;
    while (start < raw.size() && (raw[start] == ' ' || raw[start] == '\t')) ++start;
    line.assign(raw, start, std::string::npos);
    if (line.size() > kRawLineLimit) line.resize(kRawLineLimit);
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

}  // namespace

bool QueueLineSource::readLine(std::string& line) {
    if (lines_.empty()) return false;
    takeQueued(std::move(lines_.front().text), line);
    lines_.pop_front();
    return true;
}

Arrival QueueLineSource::pollLine(std::string& line) {
    if (lines_.empty()) return Arrival::kEnd;
    const Queued& next = lines_.front();
    if (next.arrival < 0.0 || clock_ == nullptr || clock_->now() < next.arrival)
        return Arrival::kNothingYet;
    return readLine(line) ? Arrival::kLine : Arrival::kEnd;
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

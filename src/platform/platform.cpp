#include "platform/platform.h"

#include <chrono>
#include <cstring>
#include <ostream>

namespace qm {

void writeLine(Platform& io, std::string_view text) {
    io.output << text << io.lineEnd;
    io.output.flush();
}

bool ByteLineSource::takeBuffered() {
    while (start_ < end_) {
        const char c = buffer_[start_++];
        sawAnything_ = true;
        if (c == '\n') return true;
        if (leading_ && (c == ' ' || c == '\t')) continue;
        leading_ = false;
        if (current_.size() <= kLongestLine) current_.push_back(c);
    }
    return false;
}

bool ByteLineSource::refill(bool wait) {
    std::size_t got = 0;
    const Fill result = fill(buffer_, sizeof buffer_, got, wait);
    if (result == Fill::kEnd) ended_ = true;
    if (result != Fill::kBytes || got == 0) return false;
    start_ = 0;
    end_ = got;
    return true;
}

void ByteLineSource::finishLine(std::string& line) {
    // A line ending in CR LF loses its CR like any line end (a cut line keeps what it has).
    if (!current_.empty() && current_.back() == '\r' && !lineWasCut(current_)) current_.pop_back();
    line.swap(current_);
    current_.clear();
    // A cut line's text is not needed again: give its memory back.
    if (current_.capacity() > 4096) current_.shrink_to_fit();
    leading_ = true;
    sawAnything_ = false;
}

bool ByteLineSource::readLine(std::string& line) {
    while (!takeBuffered()) {
        if (ended_ || !refill(true)) {
            if (!ended_) continue;
            // The last line may lack its line end.
            if (!sawAnything_) return false;
            break;
        }
    }
    finishLine(line);
    return true;
}

Arrival ByteLineSource::pollLine(std::string& line) {
    while (!takeBuffered()) {
        if (ended_) {
            if (!sawAnything_) return Arrival::kEnd;
            break;  // the last line, without its line end
        }
        if (!refill(false)) {
            if (ended_) continue;
            return Arrival::kNothingYet;
        }
    }
    finishLine(line);
    return Arrival::kLine;
}

namespace {

void takeQueued(std::string raw, std::string& line) {
    std::size_t start = 0;
    while (start < raw.size() && (raw[start] == ' ' || raw[start] == '\t')) ++start;
    line.assign(raw, start, std::string::npos);
    if (lineWasCut(line))
        line.resize(kLongestLine + 1);
    else if (!line.empty() && line.back() == '\r')
        line.pop_back();
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

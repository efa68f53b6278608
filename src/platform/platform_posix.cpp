// Standard input and the clock on POSIX systems.
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/platform.h"

namespace qm {

namespace {

// Standard input read with read(2); poll(2) with no timeout tells whether anything has arrived.
class FdLineSource : public ByteLineSource {
  public:
    explicit FdLineSource(int fd) : fd_(fd) {}

  protected:
    Fill fill(char* buffer, std::size_t capacity, std::size_t& got, bool wait) override {
        if (!wait) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0) return Fill::kNothingYet;
        }
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, capacity);
            if (n > 0) {
                got = static_cast<std::size_t>(n);
                return Fill::kBytes;
            }
            if (n < 0 && errno == EINTR) continue;
            return Fill::kEnd;
        }
    }

  private:
    int fd_;
};

}  // namespace

// Nanoseconds of the system's monotonic clock. Where there is one, the coarse clock is read:
// it is exact to a few milliseconds, far finer than any move budget, and costs a fraction of
// the precise clock, which matters because the search reads the clock tens of thousands of
// times a second.
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

std::unique_ptr<LineSource> openStandardInput() {
    return std::make_unique<FdLineSource>(0);
}

void prepareStandardStreams() {}

// A desktop or server has memory to spare.
std::size_t defaultTableMegabytes() {
    return 32;
}

}  // namespace qm

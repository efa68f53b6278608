// Standard input, standard output and the clock on Windows.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/platform.h"

namespace qm {

namespace {

// Bytes read from standard input that the engine has not taken yet, and whether the input has
// ended. Shared by the engine's thread and the reader's thread.
struct Handoff {
    std::mutex mutex;
    std::condition_variable changed;  // bytes arrived, bytes taken, or the input ended
    std::string bytes;
    bool ended = false;
};

// The reader stops reading while this much waits to be taken, so memory stays bounded
// whatever arrives while the engine thinks.
constexpr std::size_t kMostWaiting = std::size_t{64} << 10;

// Reads the handle until it ends or fails. A read that returns nothing is the end: a closed pipe,
// the end of a file, or Ctrl-Z typed at the start of a console line. A Ctrl-Z byte inside piped
// input is an ordinary byte (the C library's text mode is never involved).
void readUntilEnd(HANDLE handle, Handoff& handoff) {
    char chunk[4096];
    for (;;) {
        {
            std::unique_lock lock(handoff.mutex);
            handoff.changed.wait(lock, [&] { return handoff.bytes.size() < kMostWaiting; });
        }
        DWORD got = 0;
        const bool read = ReadFile(handle, chunk, sizeof chunk, &got, nullptr) != 0;
        std::lock_guard lock(handoff.mutex);
        if (!read || got == 0) {
            handoff.ended = true;
            handoff.changed.notify_all();
            return;
        }
        handoff.bytes.append(chunk, got);
        handoff.changed.notify_all();
    }
}

// Windows has no way to look at every kind of standard input without blocking: PeekNamedPipe
// answers for a GUI's pipe but not for a console, nor for a Unix pipe handed to a program under
// an emulation layer. So a thread of its own does the blocking reads and hands the bytes over;
// the engine, searching on its one thread, takes them when it looks at its input. The reader is
// detached and ends with the process, which may exit while the reader waits in ReadFile.
class ThreadLineSource : public ByteLineSource {
  public:
    explicit ThreadLineSource(HANDLE handle) : handoff_(std::make_shared<Handoff>()) {
        std::thread([handle, handoff = handoff_] { readUntilEnd(handle, *handoff); }).detach();
    }

  protected:
    Fill fill(char* buffer, std::size_t capacity, std::size_t& got, bool wait) override {
        Handoff& h = *handoff_;
        std::unique_lock lock(h.mutex);
        if (wait) h.changed.wait(lock, [&] { return !h.bytes.empty() || h.ended; });
        if (h.bytes.empty()) return h.ended ? Fill::kEnd : Fill::kNothingYet;
        got = std::min(capacity, h.bytes.size());
        std::memcpy(buffer, h.bytes.data(), got);
        h.bytes.erase(0, got);
        h.changed.notify_all();
        return Fill::kBytes;
    }

  private:
    std::shared_ptr<Handoff> handoff_;
};

}  // namespace

// Milliseconds of the system's tick count. The search reads the clock tens of thousands of times
// a second: the tick count costs a couple of nanoseconds, where the performance counter costs
// about a hundred under an emulation layer. It moves in steps of the system's timer (about
// 16 ms), far finer than any move budget.
std::int64_t monotonicNs() {
    return static_cast<std::int64_t>(GetTickCount64()) * 1000000;
}

std::unique_ptr<LineSource> openStandardInput() {
    return std::make_unique<ThreadLineSource>(GetStdHandle(STD_INPUT_HANDLE));
}

// The C library's text mode would write every line end as CR CR LF (the protocols' lines carry
// their own line ends) and read Ctrl-Z as the end of input: both streams are binary.
void prepareStandardStreams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

// A desktop has memory to spare.
std::size_t defaultTableMegabytes() {
    return 32;
}

}  // namespace qm

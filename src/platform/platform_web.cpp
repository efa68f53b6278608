// Standard input and the clock in a WebAssembly build. The engine runs in a worker (a page's Web
// Worker, or a node worker thread); whoever starts it hands it its input as bytes through
// Module.readInput, usually from a byte ring shared with the thread that receives the input.
#include <emscripten.h>

#include "platform/platform.h"

// Copies input bytes that have arrived into buffer[0..capacity) and returns their count; 0 when
// none has arrived yet (only when not waiting), negative once the input has ended. With `wait`
// it blocks the worker until there is a byte or the end.
EM_JS(int, qm_read_input, (char* buffer, int capacity, int wait),
      { return Module["readInput"](HEAPU8.subarray(buffer, buffer + capacity), wait != 0); });

namespace qm {

namespace {

class HostLineSource : public ByteLineSource {
  protected:
    Fill fill(char* buffer, std::size_t capacity, std::size_t& got, bool wait) override {
        const int n = qm_read_input(buffer, static_cast<int>(capacity), wait ? 1 : 0);
        if (n < 0) return Fill::kEnd;
        if (n == 0) return Fill::kNothingYet;
        got = static_cast<std::size_t>(n);
        return Fill::kBytes;
    }
};

}  // namespace

std::unique_ptr<LineSource> openStandardInput() {
    return std::make_unique<HostLineSource>();
}

void prepareStandardStreams() {}

// The host's monotonic clock (performance.now(), in milliseconds): one call, no system layer.
std::int64_t monotonicNs() {
    return static_cast<std::int64_t>(emscripten_get_now() * 1e6);
}

// A page may run on a phone: a small table.
std::size_t defaultTableMegabytes() {
    return 8;
}

}  // namespace qm

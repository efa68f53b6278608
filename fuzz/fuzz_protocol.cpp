// The whole protocol front end fed an arbitrary byte stream, line by line, after a valid
// handshake; the engine's turn runs at a tiny budget whenever it is due.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    qm::fuzz::FuzzEngine f;
    for (const std::string& line : qm::fuzz::splitLines(data, size)) {
        f.input.push(line);
        if (!f.run()) break;
    }
    return 0;
}

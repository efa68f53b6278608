// The whole program fed an arbitrary byte stream, line by line, after a valid xboard handshake;
// the engine's turn runs at a tiny budget whenever it is due.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    qm::fuzz::freshEngine().converse({"xboard", "protover 2"}, data, size);
    return 0;
}

// The whole program fed an arbitrary byte stream, line by line, after "uci": positions, "go"
// with any parameters (a tiny budget and depth at most), "stop", "isready", "ucinewgame", junk.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    qm::fuzz::freshEngine().converse({"uci"}, data, size);
    return 0;
}

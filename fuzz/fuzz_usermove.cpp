// Opponent moves on a set-up position: the first byte picks the position, every further line
// is sent as "usermove <line>" in force mode (with the odd take-back); the invariants must
// hold after each.
#include "fuzz_support.h"

namespace {

const char* const kPositions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
    "4k3/1P6/8/8/8/8/6p1/4K2R b K - 0 40",
    "R3k2r/8/8/8/8/8/8/4K2R w Kk - 0 1",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size == 0) return 0;
    qm::fuzz::FuzzEngine& f = qm::fuzz::freshEngine();
    f.xboardHandshake();
    const std::size_t count = sizeof kPositions / sizeof kPositions[0];
    f.input.push("force");
    f.input.push(std::string("setboard ") + kPositions[data[0] % count]);
    f.run();
    for (const std::string& line : qm::fuzz::splitLines(data + 1, size - 1)) {
        if (line == "u")
            f.input.push("undo");
        else if (line == "r")
            f.input.push("remove");
        else
            f.input.push("usermove " + line);
        f.run();
    }
    return 0;
}

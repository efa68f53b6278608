// quillomar-bench [DEPTH]: runs the engine's own turn (renumbering with a fixed seed, no time
// limit) to a fixed depth on built-in positions. The node total is the bench signature: the
// same on every run and machine for the same code.
// quillomar-bench --lines DEPTH [FILE]: the same on the positions of FILE (one FEN a line;
// blank lines, lines starting with '#' and anything after a ';' ignored), or on the built-in
// ones, printing every thinking line as the engine prints it before each position's summary.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "board/state_init.h"
#include "engine/commands.h"
#include "engine/fen_setup.h"
#include "search/driver.h"
#include "tool_engine.h"

namespace {

constexpr const char* kPositions[] = {
    // Openings.
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
    "rnbqkb1r/pp2pppp/3p1n2/8/3NP3/8/PPP2PPP/RNBQKB1R w KQkq - 1 5",
    "rnbqkb1r/ppp1pppp/5n2/3p4/2PP4/8/PP2PPPP/RNBQKBNR w KQkq - 1 3",
    "r1bqk2r/pppp1ppp/2n2n2/2b1p3/2B1P3/5N2/PPPP1PPP/RNBQ1RK1 b kq - 5 4",
    // Middlegames.
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
    "r2q1rk1/pp2bppp/2n1pn2/3p4/3P4/2NBPN2/PP3PPP/R2QK2R w KQ - 0 9",
    "2r2rk1/pp1bqppp/2n1pn2/3p4/2PP4/P1N1PN2/1PQ2PPP/2R1KB1R w K - 3 12",
    "r1b2rk1/2q1bppp/p2ppn2/1p6/3NP3/1BN1B3/PPP2PPP/R2Q1RK1 w - - 0 11",
    "3r1rk1/p4ppp/1pn1p3/2q5/2P5/1P2Q1P1/P4PBP/3R1RK1 w - - 0 20",
    "r1bq1rk1/ppp2ppp/2np1n2/2b1p3/2B1P3/2NP1N2/PPP2PPP/R1BQ1RK1 w - - 4 7",
    "rnb2rk1/pp3ppp/4pn2/q1pp4/1bPP4/2N1PN2/PPQ2PPP/R1B1KB1R w KQ - 2 7",
    "r2qkb1r/pp1n1ppp/2p1pn2/3p1b2/2PP4/1QN1PN2/PP3PPP/R1B1KB1R w KQkq - 4 7",
    // Endgames.
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "8/8/4k3/8/2K5/8/3P4/8 w - - 0 1",
    "8/5pk1/6p1/8/3R4/6P1/5PK1/3r4 w - - 0 40",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "8/8/1p6/p1p2k2/P1P5/1P3K2/8/8 w - - 0 45",
    "8/8/8/7k/8/8/3N4/4K1N1 w - - 0 60",
    "4k3/8/8/8/8/8/8/4KB2 w - - 0 70",
    // Mates, promotions and checks.
    "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1",
    "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4",
    "k7/8/1K6/8/8/8/8/7R w - - 0 1",
    "8/P7/8/8/8/8/6k1/4K3 w - - 0 1",
    "3k4/1P6/8/8/8/8/6p1/4K3 b - - 0 1",
    "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
    "7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",
};

// The FENs of a positions file; false when it cannot be read.
bool readPositions(const char* path, std::vector<std::string>& fens) {
    std::ifstream file(path);
    if (!file) return false;
    std::string line;
    while (std::getline(file, line)) {
        line = line.substr(0, line.find(';'));
        const std::size_t start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos || line[start] == '#') continue;
        const std::size_t end = line.find_last_not_of(" \t\r");
        fens.push_back(line.substr(start, end - start + 1));
    }
    return true;
}

int usage() {
    std::fprintf(
        stderr,
        "usage: quillomar-bench [DEPTH 1..%d]\n       quillomar-bench --lines DEPTH [FILE]\n",
        qm::kMaxDepth);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int depth = 6;
    bool printLines = false;
    int arg = 1;
    if (arg < argc && std::strcmp(argv[arg], "--lines") == 0) {
        printLines = true;
        ++arg;
        if (arg >= argc) return usage();
    }
    if (arg < argc) {
        char* end = nullptr;
        long d = std::strtol(argv[arg], &end, 10);
        if (end == argv[arg] || *end != '\0' || d < 1 || d > qm::kMaxDepth) return usage();
        depth = static_cast<int>(d);
        ++arg;
    }
    std::vector<std::string> fens;
    if (printLines && arg < argc) {
        if (!readPositions(argv[arg], fens)) {
            std::fprintf(stderr, "cannot read %s\n", argv[arg]);
            return 1;
        }
        ++arg;
    } else {
        fens.assign(std::begin(kPositions), std::end(kPositions));
    }
    if (arg < argc) return usage();

    qm::ToolEngine tool;
    qm::EngineState& e = *tool.engine;
    double totalNodes = 0.0;
    const auto start = std::chrono::steady_clock::now();
    int number = 0;
    for (const std::string& fen : fens) {
        ++number;
        qm::resetGame(e);
        if (!qm::setupFromFen(e, fen)) {
            std::fprintf(stderr, "bench position %d rejected: %s\n", number, fen.c_str());
            return 1;
        }
        e.engineSide = e.sideToMove;
        e.engineState = 1;
        e.depthLimit = depth;
        e.moveBudgetCs = 1e15;
        e.clockStampTime = e.io.clock.seconds();
        const auto posStart = std::chrono::steady_clock::now();
        qm::renumberPieces(e);
        // Count every iteration's nodes: the thinking lines carry them.
        tool.output.str("");
        qm::engineTurn(e);
        double nodes = 0.0;
        {
            std::string lines = tool.output.str();
            if (printLines) std::fputs(lines.c_str(), stdout);
            std::size_t pos = 0;
            while (pos < lines.size()) {
                std::size_t eol = lines.find('\n', pos);
                std::string line = lines.substr(pos, eol - pos);
                int d = 0, score = 0, t = 0;
                double n = 0;
                if (std::sscanf(line.c_str(), "%d %d %d %lf", &d, &score, &t, &n) == 4) nodes += n;
                if (eol == std::string::npos) break;
                pos = eol + 1;
            }
        }
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - posStart)
                .count();
        totalNodes += nodes;
        std::printf("position %2d: depth %d nodes %.0f time %.0f ms %s\n", number, e.iterationDepth,
                    nodes, ms, e.engineMoveText.c_str());
    }
    const double totalMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("Total time (ms): %.0f\n", totalMs);
    std::printf("Nodes searched: %.0f\n", totalNodes);
    std::printf("Nodes/second: %.0f\n", totalMs > 0 ? totalNodes * 1000.0 / totalMs : 0.0);
    return 0;
}

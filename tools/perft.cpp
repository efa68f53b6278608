// quillomar-perft DEPTH [FEN]: counts the leaf positions of the legal move tree through the
// engine's own candidate list, move maker and take-back.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "board/legal_moves.h"
#include "board/make_move.h"
#include "engine/commands.h"
#include "engine/fen_setup.h"
#include "search/take_back.h"
#include "search/thinking_output.h"
#include "tool_engine.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: quillomar-perft DEPTH [FEN]\n");
        return 2;
    }
    char* end = nullptr;
    long depth = std::strtol(argv[1], &end, 10);
    if (end == argv[1] || *end != '\0' || depth < 1 || depth > qm::kMaxDepth) {
        std::fprintf(stderr, "depth must be a whole number from 1 to %d\n", qm::kMaxDepth);
        return 2;
    }
    std::string fen = argc == 3 ? argv[2] : qm::kStartingFen;

    qm::ToolEngine tool;
    qm::EngineState& e = *tool.engine;
    qm::resetGame(e);
    if (!qm::setupFromFen(e, fen)) {
        std::fprintf(stderr, "illegal position: %s\n", fen.c_str());
        return 2;
    }
    e.iterationDepth = static_cast<int>(depth);

    qm::LegalMoveList root;
    qm::listLegalMoves(e, root);
    e.iterationDepth = static_cast<int>(depth);
    unsigned long long total = 0;
    const int s = e.sideToMove;
    for (int n = 1; n <= root.count; ++n) {
        int made = 0;
        qm::makeListedMove(e, made, 1, root.piece[n], root.slot[n]);
        unsigned long long count = 1;
        if (depth > 1) {
            e.sideToMove = -s;
            count = qm::countLeaves(e, 2, static_cast<int>(depth));
            e.sideToMove = s;
        }
        qm::takeBackMove(e, 1);
        const auto& m = root.entry[n];
        std::printf("%s: %llu\n", qm::moveText(m[1], m[2], m[3], m[4], m[5]).c_str(), count);
        total += count;
    }
    std::printf("\nNodes searched: %llu\n", total);
    return 0;
}

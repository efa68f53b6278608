#include "board/legal_moves.h"

#include "board/candidates.h"
#include "board/make_move.h"
#include "board/unmake_move.h"

namespace qm {

void listLegalMoves(BoardState& e, LegalMoveList& out) {
    out.count = 0;
    const int savedDepth = e.iterationDepth;
    e.iterationDepth = kMaxDepth;  // full candidate list at ply 1
    generateCandidates(e, 1);
    for (int n = 1; n <= e.moveCount[1]; ++n) {
        const int piece = e.moveList[1][n][kCandPiece];
        const int slot = e.moveList[1][n][kCandSlot];
        int made = 0;
        makeCandidate(e, made, 1, e.moveList[1][n]);
        if (made == 0) continue;
        const auto& rec = e.plyRecord[1];
        out.count += 1;
        MoveEntry& m = out.entry[out.count];
        m.clear();
        m[1] = rec[kRecFromFile];
        m[2] = rec[kRecFromRank];
        m[3] = rec[kRecToFile];
        m[4] = rec[kRecToRank];
        m[5] = absOf(rec[kRecPromotion]);
        m[8] = rec[kRecKindAfter];
        out.piece[out.count] = piece;
        out.slot[out.count] = slot;
        unmakeListedMove(e, 1);
    }
    e.iterationDepth = savedDepth;
}

unsigned long long countLeaves(BoardState& e, int ply, int depth) {
    generateCandidates(e, ply);
    unsigned long long nodes = 0;
    const int s = e.sideToMove;
    for (int n = 1; n <= e.moveCount[ply]; ++n) {
        int made = 0;
        makeCandidate(e, made, ply, e.moveList[ply][n]);
        if (made == 0) continue;
        if (ply == depth) {
            nodes += 1;
        } else {
            e.sideToMove = -s;
            nodes += countLeaves(e, ply + 1, depth);
            e.sideToMove = s;
        }
        unmakeListedMove(e, ply);
    }
    return nodes;
}

}  // namespace qm

#include "search/evaluation.h"

#include "board/king_safety.h"

namespace qm {

int materialScore(const GameTables& g) {
    const auto& m = g.materialCount;
    // Bishops are counted by the colour of their square, in columns 1 and 2.
    int score = 0;
    for (int kind = kPawn; kind <= kQueen; ++kind)
        score += pieceValue(kind) * (m[kind][1] - m[-kind][1]);
    return score + pieceValue(kBishop) * (m[kBishop][2] - m[-kBishop][2]);
}

void inCheckTest(EngineState& e, int& result) {
    const int side = -e.sideToMove;
    const int king = e.pieceIndexOf[13] * side;
    const int file = e.kingPos[side][1];
    const int rank = e.kingPos[side][2];
    e.sideToMove = -e.sideToMove;
    testKingSafety(e, result, king, file, rank, file, rank);
    e.sideToMove = -e.sideToMove;
}

void scorePosition(EngineState& e, int p, ScoreKind kind) {
    if (kind == ScoreKind::kMaterial) {
        e.currentScore = materialScore(e);
        return;
    }
    if (e.legalMovesAtPly[p + 1] != 0) return;
    int check;
    inCheckTest(e, check);
    if (check == kKingSafe) {
        e.currentScore = 0;
        return;
    }
    e.currentScore = e.sideToMove > 0 ? kMateScore - p : -kMateScore + p;
}

}  // namespace qm

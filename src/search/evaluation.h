// Scoring: material only; a side without a legal move is mated or stalemated.
#pragma once

#include "search/engine_state.h"

namespace qm {

inline constexpr int kMateScore = 100000;

enum class ScoreKind { kMaterial, kMateOrStalemate };

// Writes the score (centipawns, White's point of view) into currentScore.
void scorePosition(EngineState& e, int p, ScoreKind kind);

// Material balance of the position.
int materialScore(const GameTables& g);

// What a piece of absolute kind `kind` counts in the material score (a pawn that has just
// advanced two squares counts as a pawn; a king, or no piece, counts nothing).
constexpr int pieceValue(int kind) {
    switch (kind) {
        case kPawn:
        case kPawnDoubleStep:
            return 100;
        case kKnight:
        case kBishop:
            return 300;
        case kRook:
            return 500;
        case kQueen:
            return 900;
        default:
            return 0;
    }
}

// result 1 when the side to move after the current move (-sideToMove) is not in check, 2 when
// it is.
void inCheckTest(EngineState& e, int& result);

}  // namespace qm

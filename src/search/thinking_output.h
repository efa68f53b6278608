// The thinking line printed after every completed iteration, and the result claim it sets.
#pragma once

#include <string>

#include "search/engine_state.h"

namespace qm {

inline constexpr int kMateThreshold = 90000;

// Prints depth, score (engine's view), centiseconds, nodes, recorded length, deepest ply and
// the principal variation; sets resultText from the root score and the line's length.
void printThinkingLine(EngineState& e);

// Coordinate text of a move: files as letters, a lower-case promotion letter for kinds 2..5.
std::string moveText(int fromFile, int fromRank, int toFile, int toRank, int promotionKind,
                     bool upperCasePromotion = false);

}  // namespace qm

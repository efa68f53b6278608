// Taking back the move of a search ply: the board's unmake, and the draw flags the move set.
#pragma once

#include "search/engine_state.h"

namespace qm {

// Restores the position before the move of ply p (the last move made, by sideToMove), clears
// plyRecord[p][1..14] and the draw flags.
void takeBackMove(EngineState& e, int p);

}  // namespace qm

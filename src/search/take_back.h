// Undoing the move of a search ply from its plyRecord row.
#pragma once

#include "engine/engine_state.h"

namespace qm {

// Restores the position before the move of ply p (the last move made, by sideToMove), clears
// plyRecord[p][1..14] and the draw flags.
void takeBackMove(EngineState& e, int p);

}  // namespace qm

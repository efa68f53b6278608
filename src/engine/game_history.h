// The game's move list since the set-up, and taking moves back ("undo", "remove").
#pragma once

#include <string>

#include "search/engine_state.h"

namespace qm {

// Takes back the last `plies` half-moves: sets the game's start position up again and replays
// every move but those, so that gamePly, castling and en-passant state, the half-move clock and
// the position keys are as they were. Nothing happens when there are fewer moves to take back.
// Returns true when moves were taken back.
bool takeBackGamePlies(EngineState& e, int plies);

}  // namespace qm

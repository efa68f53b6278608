// Undoing the move made at a ply from its plyRecord row.
#pragma once

#include "board/board_state.h"

namespace qm {

// Restores the position before the move of ply p (the last move made, by sideToMove) and
// clears plyRecord[p][1..14].
void unmakeListedMove(BoardState& e, int p);

}  // namespace qm

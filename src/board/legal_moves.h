// The legal moves of the side to move, found through the candidate list and the move maker
// (made and taken back one by one at ply 1). Used outside the search: to check the opponent's
// moves, to detect the end of the game, and by the perft tool.
#pragma once

#include "board/board_state.h"

namespace qm {

struct LegalMoveList {
    int count = 0;
    // Fields as in a principal-variation entry: [1..4] squares, [5] promotion kind (absolute),
    // [8] signed kind of the moved piece after the move.
    Table<MoveEntry, 1, kListRows> entry;
    Table<int, 1, kListRows> piece;
    Table<int, 1, kListRows> slot;
};

void listLegalMoves(BoardState& e, LegalMoveList& out);

// Counts the leaf positions of the legal move tree from ply `ply` down to ply `depth`, through
// the candidate list, the move maker and the take-back (iterationDepth must be at least depth
// so that full lists are generated). sideToMove is as on entry afterwards.
unsigned long long countLeaves(BoardState& e, int ply, int depth);

}  // namespace qm

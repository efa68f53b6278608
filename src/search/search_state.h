// Tables of the search: iteration control, per-depth scores, principal variations, draw flags
// and counters.
#pragma once

#include "board/board_state.h"
#include "board/table.h"

namespace qm {

using PvEntry = MoveEntry;
using PvLine = Table<PvEntry, 1, kMaxDepth>;

struct SearchTables {
    // Iteration control.
    int searchStatus = 0;  // 1 may run / completed, 0 stopped by the clock, 2 no new iteration
    int depthLimit = kMaxDepth;  // deepest iteration of a turn (lowered only by tools)
    double budgetCapCs = 1e300;  // ceiling on a move's budget (lowered only by tools)

    // Search.
    Table<int, 1, kMaxDepth> moveCursor;
    Table<int, 1, kMaxDepth> legalMovesAtPly;
    Table<Table<int, 1, 2>, 1, kMaxDepth + 1> plyScore;
    Table<PvLine, 1, kMaxDepth + 1> pvLines;
    // A stand-pat line not yet written out: row p of pvLines stands for the path to ply p - 1
    // with this score until it is backed up (then written) or overwritten.
    Table<int, 1, kMaxDepth + 1> standPatPending;
    Table<int, 1, kMaxDepth + 1> standPatScore;
    int quiescenceDepth = 0;
    int maxQuiescenceDepth = 0;
    double nodeCount = 0.0;
    int bestRootPiece = 0;
    int bestRootSlot = 0;
    int firstRootPiece = 0;
    int firstRootSlot = 0;
    int currentScore = 0;

    // Draw flags.
    Table<int, 0, kMaxDepth> repetitionFlags;
    int fiftyMoveFlag = 0;
    int materialDrawFlag = 0;
};

}  // namespace qm

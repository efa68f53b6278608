// Tables of the search: iteration control, per-depth scores, principal variations, draw flags
// and counters.
#pragma once

#include <deque>
#include <string>

#include "board/board_state.h"
#include "board/table.h"
#include "search/position_table.h"

namespace qm {

struct EngineState;

// How input that arrives while the engine thinks ends its turn.
enum StopRequest : int {
    kNoStop = 0,
    kStopAndPlay = 1,     // play the move the clock would have given now
    kStopWithoutMove = 2  // give up the turn: the game stays as it was before it
};

using PvEntry = MoveEntry;
using PvLine = Table<PvEntry, 1, kMaxDepth>;

struct SearchTables {
    // Iteration control.
    int searchStatus = 0;  // 1 may run / completed, 0 stopped by the clock, 2 no new iteration
    int depthLimit = kMaxDepth;        // deepest iteration of a turn (lowered only by tools)
    double budgetCapCs = 1e300;        // ceiling on a move's budget (lowered only by tools)
    int playerDepthLimit = kMaxDepth;  // deepest iteration the player allows
    bool showThinking = true;          // write the line of every completed iteration
    bool thinkUntilStopped = false;    // the turn ends only on a stop request
    // Thinking on the opponent's time: the turn thinks until it is stopped until the ponder hit,
    // which gives it this budget, counted from the hit. The reply the engine expects is the
    // second move of the last completed iteration's line ("" when it has none).
    bool pondering = false;
    double ponderHitBudgetCs = 0.0;
    std::string expectedReply;

    // Input while thinking. The front end's check takes the lines that have arrived, keeps
    // those it does not act on at once in heldLines (read before any new input), and sets
    // stopRequest; with `wait` it waits for input until the turn must end. Null: no input is
    // looked at while thinking. A front end may also write the line of a completed iteration
    // its own way.
    bool (*inputCheck)(EngineState& e, bool wait) = nullptr;
    void (*iterationReport)(EngineState& e) = nullptr;
    std::deque<std::string> heldLines;
    std::size_t heldLinesSeen = 0;  // held lines the check of this turn has looked at
    std::size_t heldBytes = 0;      // what heldLines holds, counted as the input's bytes
    bool heldLineRefused = false;   // this turn refused a line for want of room to hold it
    int stopRequest = kNoStop;
    double lastInputCheck = 0.0;  // clock reading of the last look at the input
    // Finished interior nodes between two clock readings of the search. A reading is a call out
    // of the program (in a browser, out of the WebAssembly module into the page: a quarter of a
    // microsecond), and the search finishes millions of interior nodes a second: 256 of them
    // take well under a millisecond, which is all the search may run beyond its budget.
    int clockReadingInterval = 256;
    int callsUntilClockReading = 0;  // until the next reading; 0: at the next finished node

    // Search.
    Table<int, 1, kMaxDepth> moveCursor;
    Table<int, 1, kMaxDepth> legalMovesAtPly;
    Table<Table<int, 1, 2>, 1, kMaxDepth + 1> plyScore;
    Table<PvLine, 1, kMaxDepth + 1> pvLines;
    // The length and score of the line in row p of pvLines (see search.cpp).
    Table<int, 1, kMaxDepth + 1> lineLength;
    Table<int, 1, kMaxDepth + 1> lineScore;
    // Material score of the position at ply p, for the last ply of the nominal depth and the
    // capture-extension plies: written when the search enters the ply (there it is the stand-pat
    // score, and the score a move must beat to be worth making).
    Table<int, 1, kMaxDepth + 1> staticScore;
    // Whether a quiet move at ply p might be drawn by rule: 0 not worked out since the ply was
    // entered, 1 none can, 2 some might.
    Table<int, 1, kMaxDepth + 1> quietDrawKnown;
    // The bound a ply's current move must beat to be taken, from White's point of view: its best
    // score, or one less for the side choosing there (White) or one more (Black) while a move
    // listed before the best one is explored, which then takes an equal score.
    Table<int, 1, kMaxDepth + 1> plyBound;
    // The bounds of the plies above ply p, from White's point of view: the highest of those where
    // White chooses, the lowest of those where Black chooses (set when the ply is entered).
    Table<int, 1, kMaxDepth + 1> lowBound;
    Table<int, 1, kMaxDepth + 1> highBound;
    // Place in moveList[p] of the move that gave ply p its score.
    Table<int, 1, kMaxDepth + 1> bestListIndex;
    // Plies below the root and above the last of the nominal depth explore their moves in an
    // order of their own (exploreOrder[p][k]: the place in moveList[p] of the k-th move to
    // explore); the others explore them in list order.
    Table<Table<short, 1, kListRows>, 1, kMaxDepth> exploreOrder;
    // Quiet moves that ended a ply at the same depth lately (move codes, as in the position
    // table), and how much each quiet move of each side has ended plies ([side][from][to]).
    Table<Table<int, 1, 2>, 1, kMaxDepth> killerMoves;
    Table<Table<Table<int, 0, 63>, 0, 63>, 0, 1> cutHistory;
    // At the last ply of the nominal depth: the quiet move (piece, slot) that last ended it, the
    // row of that move when it is explored first in the position at hand, and whether it is
    // (0 no, 1 yes and the list is not made yet, 2 yes and the list is made).
    Table<Table<int, 1, 2>, 1, kMaxDepth> lastPlyKiller;
    Table<CandidateRow, 1, kMaxDepth> lastPlyFirstMove;
    Table<int, 1, kMaxDepth + 1> lastPlyFirstState;
    PositionTable positionTable;
    // Every ply explores its moves in list order and the table ends no ply (set only by tests,
    // which compare the lines of the two ways).
    bool listOrderOnly = false;
    std::uint8_t turnNumber = 0;  // counts the engine's turns, for the position table
    // The best ceiling (White's view) of the moves that ply p passed over for a bound of its own
    // side, while passedCeilingSet[p] is 1: what the ply hands up when it is better than its
    // score.
    Table<int, 1, kMaxDepth + 1> passedCeiling;
    Table<int, 1, kMaxDepth + 1> passedCeilingSet;
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

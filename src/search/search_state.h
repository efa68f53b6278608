// Tables of the search: iteration control, per-depth scores, principal variations, draw flags
// and counters.
#pragma once

#include <deque>
#include <string>

#include "board/board_state.h"
#include "board/table.h"

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
    // A stand-pat line not yet written out: row p of pvLines stands for the path to ply p - 1
    // with this score until it is backed up (then written) or overwritten.
    Table<int, 1, kMaxDepth + 1> standPatPending;
    // Material score of the position at ply p, for the last ply of the nominal depth and the
    // capture-extension plies: written when the search enters the ply (there it is the stand-pat
    // score, and the score a move must beat to be worth making).
    Table<int, 1, kMaxDepth + 1> staticScore;
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

#include "engine/main_loop.h"

#include <algorithm>

#include "board/game_record.h"
#include "board/state_init.h"
#include "engine/commands.h"
#include "engine/opponent_move.h"
#include "engine/time_budget.h"
#include "engine/uci.h"
#include "search/driver.h"
#include "search/knight_pairs.h"

namespace qm {

void initialiseEngine(EngineState& e) {
    startupInitialise(e);
    fillKnightPairTables(e);
    // The position table is allocated before any search: where the system hands out zeroed
    // pages as they are first used this costs nothing, but in a page (WebAssembly) the memory
    // is cleared at once, which must not happen in the middle of a short think.
    e.positionTable.setSize(e.io.tableMegabytes);
    e.inputCheck = &xboardInputCheck;
}

namespace {

// The xboard handshake from the line already read into inputLine.
bool finishHandshake(EngineState& e) {
    while (e.inputLine != "xboard") {
        if (!readCommandLine(e)) return false;
    }
    for (;;) {
        if (!readCommandLine(e)) return false;
        if (e.inputLine.rfind("protover", 0) == 0) break;
    }
    writeLine(e.io, "#Quillomar 0.09.5");
    writeLine(e.io, std::string("# by ") + kAuthor);
    writeLine(e.io, "# Rosario");
    writeLine(e.io, "# 2026");
    writeLine(e.io, "feature done=0");
    initialiseEngine(e);
    writeLine(e.io, kFeatureLine);
    writeLine(e.io, "# booteo Quillomar finalizado");
    writeLine(e.io, "feature done=1");
    e.inputLine.clear();
    return true;
}

}  // namespace

bool handshake(EngineState& e) {
    return readCommandLine(e) && finishHandshake(e);
}

void runEngineTurn(EngineState& e) {
    e.turnStartTime = e.io.clock.seconds();
    if (!e.timeSinceLastMove) {
        // No clock from the GUI for this move: think from now, within a bounded budget.
        e.clockStampTime = e.turnStartTime;
        e.moveBudgetCs = kNoClockBudgetCs;
        if (e.fixedMoveCs > 0.0)
            e.moveBudgetCs = fixedMoveBudget(e.fixedMoveCs);
        else if (e.levelSeen && e.levelBaseCs > 0.0)
            e.moveBudgetCs = std::min(
                kNoClockBudgetCs,
                moveBudget(e.levelBaseCs, e.levelMoves, timeControlPly(e), e.levelIncrementCs));
    }
    ensurePlyCapacity(e);
    renumberPieces(e);
    engineTurn(e);
}

bool mainLoopPass(EngineState& e) {
    handleCommand(e);
    if (!e.pendingMove.empty()) {
        applyOpponentMove(e);
        e.pendingMove.clear();
    }
    if (e.engineState == 1) runEngineTurn(e);
    return e.inputLine != "quit";
}

int runEngine(EngineState& e) {
    if (!readCommandLine(e)) return 0;
    if (e.inputLine == "uci") return runUci(e);
    if (!finishHandshake(e)) return 0;
    while (mainLoopPass(e)) {
    }
    return 0;
}

}  // namespace qm

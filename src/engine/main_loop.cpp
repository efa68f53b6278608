#include "engine/main_loop.h"

#include <algorithm>

#include "board/game_record.h"
#include "board/state_init.h"
#include "engine/commands.h"
#include "engine/opponent_move.h"
#include "engine/time_budget.h"
#include "search/driver.h"
#include "search/knight_pairs.h"

namespace qm {

void initialiseEngine(EngineState& e) {
    startupInitialise(e);
    fillKnightPairTables(e);
    e.inputCheck = &xboardInputCheck;
}

bool handshake(EngineState& e) {
    for (;;) {
        if (!readCommandLine(e)) return false;
        if (e.inputLine == "xboard") break;
    }
    for (;;) {
        if (!readCommandLine(e)) return false;
        if (e.inputLine.rfind("protover", 0) == 0) break;
    }
    writeLine(e.io, "#Quillomar 0.09.5");
    writeLine(e.io, "# by the Quillomar team");
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

bool mainLoopPass(EngineState& e) {
    handleCommand(e);
    if (!e.pendingMove.empty()) {
        applyOpponentMove(e);
        e.pendingMove.clear();
    }
    if (e.engineState == 1) {
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
    return e.inputLine != "quit";
}

int runEngine(EngineState& e) {
    if (!handshake(e)) return 0;
    while (mainLoopPass(e)) {
    }
    return 0;
}

}  // namespace qm

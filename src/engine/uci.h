// The UCI front end: the same game tables, position set-up, move legality, time management and
// engine turn as the xboard front end, spoken in the other protocol.
#pragma once

#include "search/engine_state.h"

namespace qm {

// Runs the conversation once its first line, "uci", has been read; returns the exit status.
int runUci(EngineState& e);

// Looks at the input while the engine thinks: "isready" is answered at once, "stop" ends the
// turn with the move of the moment, "quit" ends it without one; other lines wait for the move.
bool uciInputCheck(EngineState& e, bool wait);

// The line of a completed iteration: "info depth D score cp S|mate M nodes N time MS pv ...",
// the score from the side to move's view.
void uciIterationReport(EngineState& e);

}  // namespace qm

// Ending a turn early: the clock against the move budget, and input that arrives while the
// engine thinks, looked at through the front end's check at the points where the clock is read.
#pragma once

#include "search/engine_state.h"

namespace qm {

// Least clock time between two looks at the input inside the search.
inline constexpr double kInputCheckInterval = 0.005;

// Starts a turn's watch: no stop request; looks at the held lines and at what has arrived.
void beginTurnWatch(EngineState& e);

// Called at every finished interior node; reads the clock at the first call of the turn and
// then at every clockReadingInterval-th. True when that reading finds the budget spent or the
// input ends the turn (looked at no more often than kInputCheckInterval).
bool turnMustEnd(EngineState& e);

// True when input that has arrived ends the turn; `now` is the clock reading just taken. With
// `always` the input is looked at whatever the time since the last look.
bool inputEndsTurn(EngineState& e, double now, bool always);

// Waits for input until the turn must end (a turn that thinks until it is stopped).
void waitForStop(EngineState& e);

}  // namespace qm

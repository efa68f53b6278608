// Reading input lines in arrival order, also while the engine thinks: lines taken during a turn
// that are not acted on at once are held and read before any new input.
#pragma once

#include <string>

#include "search/engine_state.h"

namespace qm {

// What a front end does with a raw input line that arrives while the engine thinks: the stop it
// asks for (a StopRequest), and whether the line is held to be handled after the turn (false
// for a line handled here and now).
using StopRule = int (*)(EngineState& e, const std::string& raw, bool& hold);

// The next raw line: a held one first, else from the input (waiting for it). False at the end
// of input.
bool readRawLine(EngineState& e, std::string& raw);

// Looks at the held lines the turn has not seen and takes the lines that have arrived, until
// one asks for a stop; with `wait`, waits for lines until one does. Once the input has ended, a
// turn that only a stop request can end is given up. Returns true when the turn must end.
bool watchInput(EngineState& e, bool wait, StopRule stopFor);

}  // namespace qm

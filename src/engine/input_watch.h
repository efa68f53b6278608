// Reading input lines in arrival order, also while the engine thinks: lines taken during a turn
// that are not acted on at once are held and read before any new input.
#pragma once

#include <cstddef>
#include <string>

#include "search/engine_state.h"

namespace qm {

// What a front end does with a raw input line that arrives while the engine thinks: the stop it
// asks for (a StopRequest), and whether the line is held to be handled after the turn (false
// for a line handled here and now).
using StopRule = int (*)(EngineState& e, const std::string& raw, bool& hold);

// Held lines take at most this many bytes (each line counting its line end), so that input that
// floods in while the engine thinks cannot take memory without bound. A line that asks for a
// stop is always held; any other line that finds no room is not acted on, nor is any line after
// it in the same turn.
inline constexpr std::size_t kMostHeldBytes = std::size_t{4} << 20;

// How a front end says that a line found no room to be held: called for the first such line of a
// turn only, so that a flood of input gives one message, not one a line.
using RefusalNotice = void (*)(EngineState& e, const std::string& raw);

// Input as it may be shown back in a message: at most 200 characters (then "..."), control
// characters as '?', so that the message stays one short, printable line.
std::string printableEcho(const std::string& input);

// The next raw line: a held one first, else from the input (waiting for it). False at the end
// of input.
bool readRawLine(EngineState& e, std::string& raw);

// Looks at the held lines the turn has not seen and takes the lines that have arrived, until
// one asks for a stop; with `wait`, waits for lines until one does, or until one ends the
// turn's thinking until stopped. Once the input has ended, a turn that only a stop request can
// end is given up. Returns true when a stop is asked for.
bool watchInput(EngineState& e, bool wait, StopRule stopFor, RefusalNotice refused);

}  // namespace qm

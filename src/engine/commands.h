// The protocol commands: reading one command line and acting on it.
#pragma once

#include <string>

#include "search/engine_state.h"

namespace qm {

// Longest command item kept.
inline constexpr std::size_t kItemLimit = 4096;

// Reads the next line into inputLine by the reading rule: the text after leading blanks and
// tabs up to the first comma outside double quotes, without the quotes of a quoted item, at
// most 4096 characters. Returns false at the end of input.
bool readCommandLine(EngineState& e);

// Extracts the command item from a raw line (leading blanks already removed).
std::string commandItem(const std::string& raw);

// Looks at the input while the engine thinks (the search's input check): "?" ends the turn
// with the move of the moment; "quit", "force", "new", "setboard", "result", "undo" and
// "remove" end it without a move and are then carried out; other lines wait for the move.
bool xboardInputCheck(EngineState& e, bool wait);

// Budget of the engine's next move with clockCs on its clock: the fixed time per move when one
// is set, else the time control's share.
double currentMoveBudget(EngineState& e, double clockCs);

// Handles one command (or, when the engine's move waits, announces it instead of reading).
void handleCommand(EngineState& e);

// Clears the position tables for a new set-up.
void resetGame(EngineState& e);

// The decimal number at the start of a text, 0 when there is none.
double leadingNumber(const std::string& text);

// The text left after removing every leading repetition of `word`.
std::string stripLeadingWord(const std::string& text, const std::string& word);

}  // namespace qm

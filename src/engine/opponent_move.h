// The opponent's moves: checking the move text of "usermove" against the legal moves, and
// playing it on the game tables.
#pragma once

#include <string>

#include "search/engine_state.h"

namespace qm {

// True when a position is held and the text is a legal move of the side to move: from-square,
// to-square and, exactly for a pawn reaching the last rank, a promotion letter q/r/b/n in
// either case.
bool opponentMoveLegal(EngineState& e, const std::string& text);

// Kind named by a promotion letter q/r/b/n in either case; 0 for any other character.
int promotionLetterKind(char c);

// Takes a legal move of the side to move as the game's next ply: recorded for take-backs,
// queued in pendingMove for applyOpponentMove, and counted in gamePly.
void acceptOpponentMove(EngineState& e, const std::string& text);

// Plays pendingMove (already checked) as ply gamePly - 1 on every game table.
void applyOpponentMove(EngineState& e);

}  // namespace qm

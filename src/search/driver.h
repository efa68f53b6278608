// The engine's turn: iterative deepening under the move budget, then the move is made.
#pragma once

#include "search/engine_state.h"

namespace qm {

// Runs searchIteration at depths 1, 2, ... up to maxDepth while the budget allows, keeps the
// variation of the last completed iteration, and makes its first move (engineState 2). When
// the engine's side has no legal move, no move is made: engineMoveText stays empty and
// resultText holds the game's result.
void engineTurn(EngineState& e);

// Clears the tables and counters one iteration of the search starts from.
void clearIterationTables(EngineState& e);

// Result of the game if the side to move has no legal move ("1-0", "0-1", "1/2-1/2"), else "".
const char* noMoveResult(EngineState& e);

// Claim to print after the engine's move, given the claim of the last thinking line: kept only
// when the position after the move confirms it (mate, stalemate, or a draw by the fifty-move
// rule, threefold repetition or dead material). A mate or stalemate is always claimed.
const char* confirmedClaim(EngineState& e, const std::string& thinkingClaim);

}  // namespace qm

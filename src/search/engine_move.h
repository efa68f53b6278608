// The engine's chosen move: its protocol line, and making it on every game table.
#pragma once

#include "search/engine_state.h"

namespace qm {

// engineMoveText = "move " + the first move of pvLines[1] (upper-case promotion letter when
// the engine plays White, lower case when it plays Black).
void formatEngineMove(EngineState& e);

// Makes the move of engineMoveText on the board and records it at row gamePly of gameMoves
// and positionKey.
void makeEngineMove(EngineState& e);

}  // namespace qm

// The whole engine: the board layer's state (game tables, candidate lists, seams), the search
// tables and the knight-pair tables, in one object passed by reference. Nothing lives outside
// it. The protocol front ends and the search both work on it; the board layer sees only its
// own part.
#pragma once

#include "board/board_state.h"
#include "search/knight_pairs.h"
#include "search/search_state.h"

namespace qm {

struct EngineState : BoardState, SearchTables, KnightPairTables {
    explicit EngineState(Platform& platform) : BoardState(platform) {}
};

}  // namespace qm

// The whole engine: game tables, search tables, knight-pair tables and the platform seams,
// in one object passed by reference. Nothing lives outside it.
#pragma once

#include "board/game_state.h"
#include "engine/platform.h"
#include "search/knight_pairs.h"
#include "search/search_state.h"

namespace qm {

struct EngineState : GameTables, SearchTables, KnightPairTables {
    explicit EngineState(Platform& platform) : io(platform) {}
    EngineState(const EngineState&) = delete;
    EngineState& operator=(const EngineState&) = delete;

    Platform& io;
};

}  // namespace qm

// An engine for the command-line tools: no protocol input, a real clock, a fixed seed.
#pragma once

#include <memory>
#include <sstream>

#include "engine/main_loop.h"
#include "platform/platform.h"
#include "search/engine_state.h"

namespace qm {

struct ToolEngine {
    QueueLineSource input;
    std::ostringstream output;
    SteadyClock clock;
    SplitMixRandom random{0x5EED5EEDULL, false};
    Platform platform{input, output, clock, random};
    std::unique_ptr<EngineState> engine = std::make_unique<EngineState>(platform);

    ToolEngine() {
        initialiseEngine(*engine);
        // The same table in every build, so that the bench searches the same tree everywhere.
        engine->positionTable.setSize(32);
    }
};

}  // namespace qm

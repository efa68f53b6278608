// Shared set-up of the fuzz targets: an in-process engine with a manual clock and a fixed
// seed, and an abort on any broken game-state invariant.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "search/engine_state.h"
#include "engine/main_loop.h"
#include "platform/platform.h"
#include "support/harness.h"

namespace qm::fuzz {

struct FuzzEngine {
    QueueLineSource input;
    std::ostringstream output;
    ManualClock clock{0.0005};
    SplitMixRandom random{7, false};
    Platform platform{input, output, clock, random};
    std::unique_ptr<EngineState> engine = std::make_unique<EngineState>(platform);

    FuzzEngine() {
        input.push("xboard");
        input.push("protover 2");
        handshake(*engine);
        // Tiny turns: a couple of centiseconds and a few plies at most.
        engine->budgetCapCs = 2.0;
        engine->depthLimit = 3;
    }

    // Runs main-loop passes until the queued lines are used up. Returns false after "quit".
    bool run() {
        while (!input.empty() || engine->engineState != 0 || !engine->heldLines.empty()) {
            if (!mainLoopPass(*engine)) return false;
            check();
            output.str("");
        }
        return true;
    }

    void check() {
        if (!engine->positionHeld) return;
        std::string problems = test::invariantViolations(*engine);
        if (!problems.empty()) {
            std::fprintf(stderr, "invariant broken: %s\n", problems.c_str());
            std::abort();
        }
    }
};

// Splits fuzz bytes into lines at '\n'.
inline std::vector<std::string> splitLines(const unsigned char* data, std::size_t size) {
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            lines.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

}  // namespace qm::fuzz

// Quillomar: a chess engine speaking xboard (protocol 2) or UCI on standard input and output.
#include <iostream>
#include <memory>

#include "engine/main_loop.h"
#include "platform/platform.h"
#include "search/engine_state.h"

int main() {
    std::ios::sync_with_stdio(false);
    qm::prepareStandardStreams();
    const auto input = qm::openStandardInput();
    qm::SteadyClock clock;
    qm::SplitMixRandom random(0x51u, true);
    qm::Platform platform{*input, std::cout, clock, random};
    auto engine = std::make_unique<qm::EngineState>(platform);
    return qm::runEngine(*engine);
}

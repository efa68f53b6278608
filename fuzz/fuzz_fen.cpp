// Position set-up from arbitrary text: every accepted position must satisfy the invariants,
// survive renumbering and list its moves.
#include "board/legal_moves.h"
#include "board/state_init.h"
#include "engine/commands.h"
#include "engine/fen_setup.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    static qm::fuzz::FuzzEngine& f = []() -> qm::fuzz::FuzzEngine& {
        qm::fuzz::FuzzEngine& engine = qm::fuzz::freshEngine();
        engine.xboardHandshake();
        return engine;
    }();
    std::string text(reinterpret_cast<const char*>(data), size);
    qm::EngineState& e = f.engine;
    qm::resetGame(e);
    if (!qm::setupFromFen(e, text)) return 0;
    f.check();
    qm::renumberPieces(e);
    f.check();
    qm::LegalMoveList moves;
    qm::listLegalMoves(e, moves);
    f.check();
    return 0;
}

#include "search/take_back.h"

#include "board/unmake_move.h"

namespace qm {

void takeBackMove(EngineState& e, int p) {
    unmakeListedMove(e, p);
    e.repetitionFlags[p] = 0;
    e.fiftyMoveFlag = 0;
    e.materialDrawFlag = 0;
}

}  // namespace qm

// Draw rules tested after every move the search makes: fifty moves, threefold repetition by
// position key, and insufficient material (with the king-and-two-knights tables).
#pragma once

#include "search/engine_state.h"

namespace qm {

void fiftyMoveCheck(EngineState& e, int p);
void repetitionCheck(EngineState& e, int p);
void materialDrawCheck(EngineState& e);

// Whether a quiet move at ply p (no capture, no promotion; castling included), not yet made,
// might leave a position that a draw rule scores 0: the fifty-move count reaching 100, the
// position key repeating as the repetition test counts it, or two knights against a bare king.
bool quietMoveMayDraw(EngineState& e, int p, const CandidateRow& row);

// Whether any quiet move at ply p might (worked out once per entry of the ply).
bool anyQuietMoveMayDraw(EngineState& e, int p);

// True when no sequence of moves can mate: kings only, a lone minor piece against a bare
// king, or bishops all on squares of one colour.
bool deadMaterial(const GameTables& g);

// True when the material on the board is drawn by the engine's rules for the given side to
// move next (kings only, bishops on one square colour, a lone knight, or two knights outside
// the mating tables).
bool insufficientMaterial(const EngineState& e, int sideToMoveNext);

}  // namespace qm

// One iteration of the depth-first material search with alpha-beta style cut-offs and a
// capture extension, written as a loop over explicit per-ply tables (no recursion).
#pragma once

#include "search/engine_state.h"

namespace qm {

// Searches the position to iterationDepth for sideToMove. Leaves the principal variation in
// pvLines[1], the root score in plyScore[1][2], the best root move in bestRootPiece/Slot (from
// depth 2 on), and sideToMove negated. Stops (searchStatus 0) when the clock passes the budget.
void searchIteration(EngineState& e);

enum class BackUpKind { kLeaf, kInnerBelowDepth, kInnerExtension };

// Hands the score after move p (list place `listIndex`, piece and slot) up into ply p.
void backUpScore(EngineState& e, int p, BackUpKind kind, bool leafFromExtend, int piece, int slot,
                 int listIndex);
// Sets the cut flag (1 go on, 0 cut) after ply a has been backed up: 0 when its score reaches
// the score of any ply of the other side below it.
int cutoffTest(const EngineState& e, int a);
// Stand-pat test of the static score in plyScore[a][2], the same comparison: 1 go on, 0 cut.
int standPatTest(const EngineState& e, int a);

}  // namespace qm

#include "search/search.h"

#include "board/candidates.h"
#include "board/make_move.h"
#include "search/draw_rules.h"
#include "search/evaluation.h"
#include "search/take_back.h"
#include "search/thinking_watch.h"

namespace qm {

namespace {

bool drawFlagSet(const EngineState& e) {
    return e.fiftyMoveFlag == 1 || e.repetitionFlags[0] != 0 || e.materialDrawFlag == 1;
}

// Writes the moves of the current path, plies 1..length, into pvLines[row] with the score.
void copyPathLine(EngineState& e, int row, int length, int score) {
    e.pvLines[row][1][9] = length;
    for (int i = 1; i <= length; ++i) {
        auto& entry = e.pvLines[row][i];
        const auto& rec = e.plyRecord[i];
        entry[1] = rec[kRecFromFile];
        entry[2] = rec[kRecFromRank];
        entry[3] = rec[kRecToFile];
        entry[4] = rec[kRecToRank];
        entry[5] = absOf(rec[kRecPromotion]);
        entry[6] = score;
        entry[8] = rec[kRecKindAfterSearch];
    }
}

// A line stored for a leaf or a mate reaches the current reach of the search.
void storeLine(EngineState& e, int row, int score) {
    copyPathLine(e, row, e.iterationDepth + e.quiescenceDepth, score);
    e.standPatPending[row] = 0;
}

// Writes out the stand-pat line of row `row` (the path to the ply before it) when it is still
// only noted.
void settleStandPatLine(EngineState& e, int row) {
    if (e.standPatPending[row] == 0) return;
    copyPathLine(e, row, row - 1, e.staticScore[row]);
    e.standPatPending[row] = 0;
}

// True when a score of the side choosing at ply a is at least as good for it as `bound`, the
// score of the other side's ply.
bool refutes(const EngineState& e, int a, int score, int bound) {
    if (a % 2 == 0) return e.engineSide == 1 ? score <= bound : score >= bound;
    return e.engineSide == 1 ? score >= bound : score <= bound;
}

// Whether the move `row` of ply p can be passed over because its score could not be taken: at
// the last ply of the nominal depth (not the root) or beyond it, once ply p holds a score
// (`plyScore[p][1]` = 1), which a move replaces only when it is strictly better.
//
// After such a move the other side may stand pat (or the line ends), so the move is worth at
// most the static score after it, unless a draw rule scores that position 0 instead:
// - a capture or promotion wins material, and no draw rule can apply after it while a pawn,
//   rook or queen stays on the board (it restarts the fifty-move count and the repetition
//   window; a material draw needs those pieces gone);
// - a quiet move (castling included) wins nothing, and a draw after it scores 0: once the ply
//   holds the static score, such a move can only be taken when the ply is behind and the
//   position after it is drawn, which is foreseen without making it.
// Passing over a move that would not be taken leaves the ply's score, its line and its cut-off
// test as they would have been; the ply has made a legal move already, so no mate or stalemate
// is read into it either.
bool cannotBeTaken(EngineState& e, int p, const CandidateRow& row) {
    if (p < e.iterationDepth || p == 1 || e.plyScore[p][1] != 1) return false;
    const int best = e.plyScore[p][2] * e.sideToMove;  // from the side to move's view
    const int improvement = best - e.staticScore[p] * e.sideToMove;
    const int target = row[kCandTargetKind];
    const int promotion = absOf(row[kCandPromotion]);
    if (target == 0 && promotion == 0)
        return improvement >= 0 && (best >= 0 || !quietMoveMayDraw(e, p, row));
    const auto& m = e.materialCount;
    if (m[1][1] + m[4][1] + m[5][1] + m[-1][1] + m[-4][1] + m[-5][1] < 3) return false;
    const int gain = pieceValue(target) + (promotion != 0 ? pieceValue(promotion) - 100 : 0);
    return gain <= improvement;
}

// Whether every quiet move still to be listed at the last ply of the nominal depth would be
// passed over (the captures and promotions of a ply are listed before its quiet moves).
bool quietMovesCannotBeTaken(EngineState& e, int p) {
    if (p != e.iterationDepth || p == 1 || e.plyScore[p][1] != 1) return false;
    const int best = e.plyScore[p][2] * e.sideToMove;
    return best >= e.staticScore[p] * e.sideToMove && (best >= 0 || !anyQuietMoveMayDraw(e, p));
}

}  // namespace

// The score of ply a (plyScore[a][2]) is compared with every ply of the other side below it
// that already holds a score; reaching any one of those bounds (equality included) means the
// other side will not take this line there, so ply a need not look further. A tighter bound
// only cuts subtrees whose result could not be taken: moves are taken only when strictly
// better, so the first best move at every ply, and with it the line, stays the same.
int cutoffTest(const EngineState& e, int a) {
    if (a <= 1) return 1;
    const int score = e.plyScore[a][2];
    for (int i = (a % 2 == 0) ? 1 : 2; i <= a - 1; i += 2) {
        if (e.plyScore[i][1] == 1 && refutes(e, a, score, e.plyScore[i][2])) return 0;
    }
    return 1;
}

int standPatTest(const EngineState& e, int a) {
    return cutoffTest(e, a);
}

void backUpScore(EngineState& e, int p, BackUpKind kind, bool leafFromExtend, int piece, int slot) {
    const bool draw = drawFlagSet(e);
    if (!draw) {
        if (kind == BackUpKind::kLeaf) {
            if (!leafFromExtend) scorePosition(e, p, ScoreKind::kMaterial);
        } else if (kind == BackUpKind::kInnerBelowDepth && e.legalMovesAtPly[p + 1] == 0) {
            scorePosition(e, p, ScoreKind::kMateOrStalemate);
            e.plyScore[p + 1][1] = 1;
            e.plyScore[p + 1][2] = e.currentScore;
            storeLine(e, p + 1, e.currentScore);
        }
    }
    // A leaf's line is the path itself. Only a take reads it, so it is written straight into
    // row p then rather than into row p + 1 and copied.
    bool leafLine = false;
    if (kind == BackUpKind::kLeaf && (p == e.iterationDepth + e.quiescenceDepth || draw)) {
        e.plyScore[p + 1][1] = 1;
        e.plyScore[p + 1][2] = e.currentScore;
        leafLine = true;
    }

    const int s = e.plyScore[p + 1][2];
    const int b = e.plyScore[p][2];
    bool take;
    if (e.plyScore[p][1] == 0) {
        take = true;
    } else if (p % 2 == 1) {
        take = (e.engineSide == 1 && s > b) || (e.engineSide == -1 && s < b);
    } else {
        take = (e.engineSide == 1 && s < b) || (e.engineSide == -1 && s > b);
    }
    if (take) {
        e.plyScore[p][1] = 1;
        e.plyScore[p][2] = s;
        if (leafLine) {
            storeLine(e, p, e.currentScore);
        } else {
            settleStandPatLine(e, p + 1);
            const int length = e.pvLines[p + 1][1][9];
            for (int i = 1; i <= length && i <= kMaxDepth; ++i)
                e.pvLines[p][i] = e.pvLines[p + 1][i];
            e.standPatPending[p] = 0;
        }
        if (p == 1 && kind == BackUpKind::kInnerBelowDepth) {
            e.bestRootPiece = piece;
            e.bestRootSlot = slot;
        }
    }
    e.plyScore[p + 1][1] = 0;
}

void searchIteration(EngineState& e) {
    enum class Step { kMake, kDescend, kExtend, kLeaf, kAdvance };

    e.moveCursor.clear();
    int p = 1;
    e.moveCursor[1] = 1;
    generateCandidates(e, 1);
    int piece, slot;
    if (e.iterationDepth >= 3) {
        piece = e.firstRootPiece;
        slot = e.firstRootSlot;
        e.moveCursor[1] = 0;
    } else {
        piece = e.moveList[1][1][kCandPiece];
        slot = e.moveList[1][1][kCandSlot];
    }
    e.plyRecord[0][kRecHalfMoveClock] = e.gameMoves[e.gamePly - 1][8];
    int cut = 1;
    e.legalMovesAtPly[1] = 0;
    e.nodeCount = 0.0;

    auto currentMoveOf = [&](int ply) {
        if (ply == 1 && e.moveCursor[1] == 0) {
            piece = e.firstRootPiece;
            slot = e.firstRootSlot;
        } else {
            piece = e.moveList[ply][e.moveCursor[ply]][kCandPiece];
            slot = e.moveList[ply][e.moveCursor[ply]][kCandSlot];
        }
    };

    bool leafFromExtend = false;
    Step step = Step::kMake;
    for (;;) {
        switch (step) {
            case Step::kMake: {
                int result = 0;
                // From depth 3 on, the previous iteration's best move, named by piece and slot,
                // is searched first; a move of the same piece and slot at any ply is not counted.
                const bool firstRootMove =
                    e.iterationDepth >= 3 && piece == e.firstRootPiece && slot == e.firstRootSlot;
                if (p == 1 && e.moveCursor[1] == 0) {
                    if (piece >= 1 && piece <= 16) makeListedMove(e, result, p, piece, slot);
                } else if (p == 1 && firstRootMove) {
                    // The move searched first meets itself in the root list: the same position
                    // by the same path, whose score could only tie, and a tie is never taken.
                } else if (!cannotBeTaken(e, p, e.moveList[p][e.moveCursor[p]])) {
                    makeCandidate(e, result, p, e.moveList[p][e.moveCursor[p]]);
                }
                if (result == 0) {
                    step = Step::kAdvance;
                    break;
                }
                e.plyRecord[p][kRecKindAfterSearch] = e.pieceKind[e.sideToMove * piece];
                if (!firstRootMove) e.nodeCount += 1.0;
                e.legalMovesAtPly[p] += 1;
                fiftyMoveCheck(e, p);
                repetitionCheck(e, p);
                materialDrawCheck(e);
                if (e.repetitionFlags[0] >= 1 || e.fiftyMoveFlag == 1 || e.materialDrawFlag == 1 ||
                    p >= e.maxDepth) {
                    leafFromExtend = false;
                    step = Step::kLeaf;
                } else if (p < e.iterationDepth) {
                    step = Step::kDescend;
                } else {
                    step = Step::kExtend;
                }
                break;
            }
            case Step::kDescend:
                p += 1;
                e.sideToMove = -e.sideToMove;
                e.moveCount[p] = 0;
                e.moveCursor[p] = 1;
                listSearchCandidates(e, p);
                e.legalMovesAtPly[p] = 0;
                e.quietDrawKnown[p] = 0;
                if (e.moveCount[p] == 0) {
                    step = Step::kAdvance;
                } else {
                    if (p == e.iterationDepth) e.staticScore[p] = materialScore(e);
                    currentMoveOf(p);
                    step = Step::kMake;
                }
                break;
            case Step::kExtend: {
                scorePosition(e, p, ScoreKind::kMaterial);
                e.plyScore[p + 1][2] = e.currentScore;
                if (standPatTest(e, p + 1) == 0) {
                    cut = 0;
                    leafFromExtend = true;
                    step = Step::kLeaf;
                    break;
                }
                cut = 1;
                p += 1;
                e.sideToMove = -e.sideToMove;
                e.moveCount[p] = 0;
                e.moveCursor[p] = 1;
                listSearchCandidates(e, p);
                if (e.moveCount[p] > 0) {
                    e.plyScore[p][1] = 1;
                    // The stand-pat line (the path so far) is noted, and written out only if
                    // no capture beats it and the line is backed up.
                    e.standPatPending[p] = 1;
                    e.staticScore[p] = e.currentScore;
                    e.quietDrawKnown[p] = 0;
                    e.quiescenceDepth += 1;
                    if (e.quiescenceDepth > e.maxQuiescenceDepth)
                        e.maxQuiescenceDepth = e.quiescenceDepth;
                    currentMoveOf(p);
                    e.legalMovesAtPly[p] = 0;
                    step = Step::kMake;
                } else {
                    p -= 1;
                    e.sideToMove = -e.sideToMove;
                    leafFromExtend = true;
                    step = Step::kLeaf;
                }
                break;
            }
            case Step::kLeaf:
                backUpScore(e, p, BackUpKind::kLeaf, leafFromExtend, piece, slot);
                cut = cutoffTest(e, p);
                takeBackMove(e, p);
                step = Step::kAdvance;
                break;
            case Step::kAdvance:
                if (e.searchStatus == 1 && cut == 1 &&
                    (e.moveCursor[p] < e.moveCount[p] ||
                     (!quietMovesCannotBeTaken(e, p) && listMoreCandidates(e, p)))) {
                    e.moveCursor[p] += 1;
                    currentMoveOf(p);
                    step = Step::kMake;
                    break;
                }
                p -= 1;
                if (e.quiescenceDepth > 0) e.quiescenceDepth -= 1;
                e.sideToMove = -e.sideToMove;
                if (p == 0) {
                    // Every move is taken back: no draw flag stands on the path any more. (The
                    // sum is otherwise refreshed only by the next repetition test, which a move
                    // passed over does not run.)
                    e.repetitionFlags[0] = 0;
                    return;
                }
                currentMoveOf(p);
                backUpScore(e, p,
                            p < e.iterationDepth ? BackUpKind::kInnerBelowDepth
                                                 : BackUpKind::kInnerExtension,
                            false, piece, slot);
                cut = cutoffTest(e, p);
                e.legalMovesAtPly[p + 1] = 0;
                takeBackMove(e, p);
                if (turnMustEnd(e)) e.searchStatus = 0;
                break;
        }
    }
}

}  // namespace qm

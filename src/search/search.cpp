#include "search/search.h"

#include <cstdint>
#include <cstring>

#include "board/candidates.h"
#include "board/full_key.h"
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

// A line of row p of pvLines (the line of ply p's best move) has lineLength[p] entries; those
// before entry p are the moves of the path to ply p, the same for every line of the row, and are
// written only when the line is taken up there (row 1 holds the whole line).

// Writes entries first..last of pvLines[row] from the moves of the path, with the line's score.
void writePathEntries(EngineState& e, int row, int first, int last, int score) {
    for (int i = first; i <= last; ++i) {
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

void setLine(EngineState& e, int row, int length, int score) {
    e.lineLength[row] = length;
    e.lineScore[row] = score;
    if (row == 1) e.pvLines[1][1][9] = length;
}

// A line stored for a leaf or a mate is the path itself and reaches the current reach of the
// search.
void storeLine(EngineState& e, int row, int score) {
    const int length = e.iterationDepth + e.quiescenceDepth;
    writePathEntries(e, row, row, length, score);
    setLine(e, row, length, score);
}

// Ply p takes the line of row p + 1: its own move, then the entries after it.
void takeLine(EngineState& e, int p) {
    const int length = e.lineLength[p + 1];
    const int score = e.lineScore[p + 1];
    if (p <= length) writePathEntries(e, p, p, p, score);
    for (int i = p + 1; i <= length && i <= kMaxDepth; ++i) e.pvLines[p][i] = e.pvLines[p + 1][i];
    setLine(e, p, length, score);
}

// The bounds that hold at ply a while it is searched, from White's point of view: the highest
// bound of the plies above it where White chooses (lowBound) and the lowest of those where
// Black chooses (highBound). Worked out when the ply is entered, from the ply above it.
constexpr int kNoBound = 1 << 30;

inline bool whiteChoosesAt(const EngineState& e, int a) {
    return (a % 2 == 1) == (e.engineSide == 1);
}

inline void enterWindow(EngineState& e, int a) {
    if (a == 1) {
        e.lowBound[1] = -kNoBound;
        e.highBound[1] = kNoBound;
        return;
    }
    int low = e.lowBound[a - 1], high = e.highBound[a - 1];
    if (e.plyScore[a - 1][1] == 1) {
        if (whiteChoosesAt(e, a - 1))
            low = low > e.plyBound[a - 1] ? low : e.plyBound[a - 1];
        else
            high = high < e.plyBound[a - 1] ? high : e.plyBound[a - 1];
    }
    e.lowBound[a] = low;
    e.highBound[a] = high;
}

// True when the score of ply a is no better, for the side choosing there, than the bound of a
// ply of the same side above it: the ply of the other side in between would refute it.
inline bool failsLow(const EngineState& e, int a, int score) {
    return whiteChoosesAt(e, a) ? score <= e.lowBound[a] : score >= e.highBound[a];
}

// True when `score` at ply a reaches a bound of a ply of the other side above it (equality
// included): the other side will not take this line there.
inline bool reachesBound(const EngineState& e, int a, int score) {
    return whiteChoosesAt(e, a) ? score >= e.highBound[a] : score <= e.lowBound[a];
}

// Passing over moves at the last ply of the nominal depth (not the root) and beyond it, once
// ply p holds a score (plyScore[p][1] = 1: it has made a legal move already, or stands on the
// static score, so no mate or stalemate is read into it).
//
// After such a move the other side may stand pat (or the line ends), so the move is worth at
// most the static score after it (its ceiling), unless a draw rule scores that position 0:
// - a capture or promotion wins material, and no draw rule can apply after it while a pawn,
//   rook or queen stays on the board (it restarts the fifty-move count and the repetition
//   window; a material draw needs those pieces gone);
// - a quiet move (castling included) wins nothing, and a draw after it scores 0, which is
//   foreseen without making the move.
// A move whose ceiling does not beat the ply's best score would not be taken: passing over it
// leaves the ply's score, its line and its cut-off test as they would have been. A move whose
// ceiling is no better than a bound of the ply's own side above it cannot make the ply exact:
// passing over it leaves the ply as it would have been whenever the ply ends exact, and
// otherwise the ply hands up the best of its score and those ceilings, which is still on the
// right side of its value (no better than the true value's upper end), and reaches nothing
// printed either way.

// Notes the ceiling of a move passed over for a bound of the ply's own side (White's view).
inline void notePassedCeiling(EngineState& e, int p, int ceiling) {
    if (e.passedCeilingSet[p] == 0 ||
        (e.sideToMove > 0 ? ceiling > e.passedCeiling[p] : ceiling < e.passedCeiling[p])) {
        e.passedCeiling[p] = ceiling;
        e.passedCeilingSet[p] = 1;
    }
}

// Whether a move of ply p with ceiling `ceiling` (the mover's view) may be passed over.
inline bool ceilingPassesOver(EngineState& e, int p, int ceiling, int best) {
    if (ceiling <= best) return true;
    const int white = ceiling * e.sideToMove;
    if (!failsLow(e, p, white)) return false;
    notePassedCeiling(e, p, white);
    return true;
}

bool cannotBeTaken(EngineState& e, int p, const CandidateRow& row) {
    if (p < e.iterationDepth || p == 1 || e.plyScore[p][1] != 1) return false;
    // What the move must beat, from the side to move's view.
    const int best = e.plyBound[p] * e.sideToMove;
    const int still = e.staticScore[p] * e.sideToMove;
    const int target = row[kCandTargetKind];
    const int promotion = absOf(row[kCandPromotion]);
    if (target == 0 && promotion == 0) {
        if (still <= best && best >= 0) return true;
        const int ceiling = quietMoveMayDraw(e, p, row) && still < 0 ? 0 : still;
        return ceilingPassesOver(e, p, ceiling, best);
    }
    const auto& m = e.materialCount;
    if (m[1][1] + m[4][1] + m[5][1] + m[-1][1] + m[-4][1] + m[-5][1] < 3) return false;
    const int gain = pieceValue(target) + (promotion != 0 ? pieceValue(promotion) - 100 : 0);
    return ceilingPassesOver(e, p, still + gain, best);
}

// Whether every quiet move still to be listed at the last ply of the nominal depth would be
// passed over (the captures and promotions of a ply are listed before its quiet moves).
bool quietMovesCannotBeTaken(EngineState& e, int p) {
    if (p != e.iterationDepth || p == 1 || e.plyScore[p][1] != 1) return false;
    // While the ply's best move is the one explored first, a quiet move listed before it would
    // take an equal score.
    const int best = e.plyScore[p][2] * e.sideToMove - (e.bestListIndex[p] == 0 ? 1 : 0);
    const int still = e.staticScore[p] * e.sideToMove;
    if (still <= best && best >= 0) return true;
    const int ceiling = still < 0 && anyQuietMoveMayDraw(e, p) ? 0 : still;
    return ceilingPassesOver(e, p, ceiling, best);
}

// Whether the capture extension at ply p, standing on `still` (White's view), can be passed
// over whole: no capture or promotion there has a ceiling beating a bound of its own side above
// it. Castling, the one quiet move listed there, would need the draw rules: a king that may
// still castle keeps the ply.
bool extensionFailsLow(EngineState& e, int p, int still, int& ceiling) {
    const int s = e.sideToMove;
    const auto& m = e.materialCount;
    if (m[1][1] + m[4][1] + m[5][1] + m[-1][1] + m[-4][1] + m[-5][1] < 3) return false;
    if (absOf(e.pieceKind[e.pieceIndexOf[13] * s]) != kKingNone) return false;
    int gain = m[-kQueen * s][1] != 0  ? pieceValue(kQueen)
               : m[-kRook * s][1] != 0 ? pieceValue(kRook)
               : m[-kBishop * s][1] + m[-kBishop * s][2] + m[-kKnight * s][1] != 0
                   ? pieceValue(kBishop)
                   : pieceValue(kPawn);
    if (m[kPawn * s][1] != 0) {
        const int seventh = s > 0 ? 7 : 2;
        for (int f = 1; f <= 8; ++f) {
            const int index = e.board[f][seventh];
            if (index * s > 0 && absOf(e.pieceKind[index]) == kPawn) {
                gain += pieceValue(kQueen) - pieceValue(kPawn);
                break;
            }
        }
    }
    ceiling = still + gain * s;
    return failsLow(e, p, ceiling);
}

// The squares of the pieces worth listing captures of at extension ply p, standing on `still`
// (White's view): a capture whose ceiling is no better than a bound of the ply's own side above
// it would be passed over, so the pieces worth no more than that are left out of the list, and
// the ceiling of the best of them is noted for the ply (as when it passes over a move).
SquareSet capturesWorthListing(EngineState& e, int p, int still) {
    const int s = e.sideToMove;
    const auto& m = e.materialCount;
    if (m[1][1] + m[4][1] + m[5][1] + m[-1][1] + m[-4][1] + m[-5][1] < 3) return ~SquareSet{0};
    const int own = s > 0 ? e.lowBound[p] : -e.highBound[p];  // the bound, the mover's view
    const int need = own - still * s;                         // what a capture must gain more than
    if (need < pieceValue(kPawn)) return ~SquareSet{0};
    SquareSet targets = 0;
    int left = 0;
    for (int kind = kPawn; kind <= kQueen; ++kind) {
        const SquareSet pieces = e.kindSquares[-s][kind];
        if (pieceValue(kind) > need)
            targets |= pieces;
        else if (pieces != 0 && pieceValue(kind) > left)
            left = pieceValue(kind);
    }
    if (left > 0) notePassedCeiling(e, p, still + left * s);
    return targets;
}

// ---------------------------------------------------------------------------------------------
// The order in which a ply explores its moves
// ---------------------------------------------------------------------------------------------
//
// Call a ply exact when its final score ends strictly between the bounds that the plies of the
// other side above it hold, and those of its own side above it: its score is then the value of
// its position, and it takes the first move in list order whose subtree scores that value
// (ties go to the move listed first), whose ply below is exact again. Every other ply is cut or
// refuted, and nothing it took reaches a line that is printed or a move that is played. So a
// ply may explore its moves in any order, provided that a move explored after the current best
// one but listed before it is taken on an equal score (its bound is then one short of the best
// score, so that nothing below it cuts on that score), and a move listed after it only on a
// better one. The root keeps its own order (the previous iteration's best move first), and the
// last ply of the nominal depth and the capture extension keep list order, which their
// pass-over rules rely on.

inline bool explorePlyInOwnOrder(const EngineState& e, int p) {
    return p > 1 && p < e.iterationDepth;
}

// Code of a listed move: from square, to square (the king's for castling) and promotion kind.
inline std::uint16_t moveCodeOf(const EngineState& e, const CandidateRow& row) {
    int toFile = row[kCandToFile], toRank = row[kCandToRank];
    if (toFile == 0) {
        toFile = e.kingTypeAtSlot[row[kCandSlot]] == 9 ? 7 : 3;
        toRank = row[kCandFromRank];
    }
    return static_cast<std::uint16_t>(squareBit(row[kCandFromFile], row[kCandFromRank]) |
                                      squareBit(toFile, toRank) << 6 |
                                      absOf(row[kCandPromotion]) << 12);
}

inline bool quietRow(const CandidateRow& row) {
    return row[kCandTargetKind] == 0 && row[kCandPromotion] == 0;
}

inline int historySide(int sideToMove) {
    return sideToMove > 0 ? 1 : 0;
}

// Fills exploreOrder[p] for the complete list of ply p: the position table's move, the captures
// and promotions in list order, the quiet moves that ended plies at this depth lately, then
// the other quiet moves, those that ended plies most often first (list order among equals).
void orderPly(EngineState& e, int p, std::uint16_t hint) {
    auto& order = e.exploreOrder[p];
    const int n = e.moveCount[p];
    if (e.listOrderOnly) {
        for (int i = 1; i <= n; ++i) order[i] = static_cast<short>(i);
        return;
    }
    int k = 0;
    int first = 0;
    if (hint != 0) {
        for (int i = 1; i <= n; ++i)
            if (moveCodeOf(e, e.moveList[p][i]) == hint) {
                first = i;
                order[++k] = static_cast<short>(i);
                break;
            }
    }
    int quiet = n + 1;  // first quiet move in the list
    for (int i = 1; i <= n; ++i) {
        if (quietRow(e.moveList[p][i])) {
            quiet = i;
            break;
        }
        if (i != first) order[++k] = static_cast<short>(i);
    }
    const int start = k + 1;
    const auto& history = e.cutHistory[historySide(e.sideToMove)];
    int value[kListRows + 1];
    for (int i = quiet; i <= n; ++i) {
        if (i == first) continue;
        const std::uint16_t code = moveCodeOf(e, e.moveList[p][i]);
        int v = history[code & 63][(code >> 6) & 63];
        if (code == e.killerMoves[p][1])
            v = 1 << 30;
        else if (code == e.killerMoves[p][2])
            v = (1 << 30) - 1;
        // Insertion by value, after the equal ones.
        int j = ++k;
        while (j > start && value[j - 1] < v) {
            order[j] = order[j - 1];
            value[j] = value[j - 1];
            --j;
        }
        order[j] = static_cast<short>(i);
        value[j] = v;
    }
}

// At the last ply of the nominal depth, the quiet move that last ended that ply elsewhere in the
// tree is explored before the ply's list is made, when it is a quiet candidate here too: it
// often ends the ply at once. Its place in the list is among the quiet moves, which are listed
// by piece number and then slot, so a move explored after it is listed before it when it is a
// capture or promotion, or a quiet move of a lower piece, or of the same piece and a lower slot.
inline bool listedBeforeFirstMove(const EngineState& e, int p, const CandidateRow& row) {
    const CandidateRow& first = e.lastPlyFirstMove[p];
    if (!quietRow(row)) return true;
    return row[kCandPiece] != first[kCandPiece] ? row[kCandPiece] < first[kCandPiece]
                                                : row[kCandSlot] < first[kCandSlot];
}

// The move at list place `listIndex` ended ply p: a quiet one is tried early at this ply from
// now on.
void noteCut(EngineState& e, int p, int listIndex) {
    if (p > e.iterationDepth || listIndex == 0) return;
    const CandidateRow& row = e.moveList[p][listIndex];
    if (!quietRow(row)) return;
    if (p == e.iterationDepth) {
        e.lastPlyKiller[p][1] = row[kCandPiece];
        e.lastPlyKiller[p][2] = row[kCandSlot];
    }
    const std::uint16_t code = moveCodeOf(e, row);
    auto& killers = e.killerMoves[p];
    if (killers[1] != code) {
        killers[2] = killers[1];
        killers[1] = code;
    }
    const int remaining = e.iterationDepth - p + 1;
    int& h = e.cutHistory[historySide(e.sideToMove)][code & 63][(code >> 6) & 63];
    h += remaining * remaining;
    if (h > (1 << 24)) {
        auto& table = e.cutHistory[historySide(e.sideToMove)];
        for (int f = 0; f <= 63; ++f)
            for (int t = 0; t <= 63; ++t) table[f][t] /= 2;
    }
}

// ---------------------------------------------------------------------------------------------
// The position table
// ---------------------------------------------------------------------------------------------
//
// A ply below the root and above the last of the nominal depth stores, when it is done, its
// score, which side of its position's value that score is, and the move that gave it.
//
// The stored move is explored first whenever the position comes again: that only changes the
// order of exploring.
//
// The stored score ends a ply at once only when the ply's value cannot depend on the path to
// it. The value of a position at ply p of an iteration of nominal depth d depends on the
// position, on d and p (the nominal depth left, the ply of a mate, the capture extension's
// reach), and on the path only through the draw rules: the fifty-move count and the
// repetitions that the repetition test finds. Where the half-move clock stands at 0 (the ply
// was entered right after a capture or a pawn move), no position before it can be repeated
// below it and the fifty-move count starts afresh; the repetition test below it then compares
// only positions of the subtree, whose repetition keys follow from the key of the ply's own
// position by the same sums. So a score stored with the clock at 0, at the same ply of an
// iteration of the same depth, for the same position with the same repetition key bit for bit,
// is the value the search of the subtree would find again, or a bound of it in the stored
// direction. When that bound lies beyond one of the ply's bounds (the other side's, which a
// lower bound reaches, or its own side's above it, which an upper bound fails to beat), the ply
// is not exact: its own search would end cut or refuted, and what it hands up reaches no
// printed line and no decision. It then hands up the stored score with an empty line.

inline std::uint64_t repetitionKeyBits(const EngineState& e, int p) {
    std::uint64_t bits;
    std::memcpy(&bits, &e.positionKey[e.gamePly + p - 2][1], sizeof bits);
    return bits;
}

// Whether the stored entry ends ply p; its score is then the ply's.
bool tableEndsPly(const EngineState& e, int p, const PositionEntry& entry) {
    if (e.listOrderOnly) return false;
    if (entry.pathFree == 0 || entry.iteration != e.iterationDepth || entry.ply != p) return false;
    if (e.plyRecord[p - 1][kRecHalfMoveClock] != 0 || entry.pathKey != repetitionKeyBits(e, p))
        return false;
    const int v = entry.score;
    const bool white = e.sideToMove > 0;
    // A lower bound (White's view) says the value is at least v: for White that may reach the
    // other side's bound, for Black it may fail to beat its own side's.
    const bool atLeast = entry.bound == kBoundExact || entry.bound == kBoundLower;
    const bool atMost = entry.bound == kBoundExact || entry.bound == kBoundUpper;
    if ((white ? atLeast : atMost) && reachesBound(e, p, v)) return true;
    return (white ? atMost : atLeast) && failsLow(e, p, v);
}

void storePly(EngineState& e, int p, bool cut) {
    if (e.legalMovesAtPly[p] == 0 || e.plyScore[p][1] != 1) return;
    const int v = e.plyScore[p][2];
    const bool white = e.sideToMove > 0;
    std::uint8_t bound = kBoundExact;
    if (cut)
        bound = white ? kBoundLower : kBoundUpper;
    else if (failsLow(e, p, v))
        bound = white ? kBoundUpper : kBoundLower;
    const std::uint64_t key = e.fullKey[p - 1];
    PositionEntry& entry = *e.positionTable.slotFor(key, e.turnNumber, e.iterationDepth - p);
    // A ply that found nothing beating its own side's bounds has no move worth trying first:
    // one stored for the position before stays.
    const bool moveWorthKeeping = bound == kBoundExact || cut;
    if (moveWorthKeeping || entry.key != key)
        entry.move = moveWorthKeeping ? moveCodeOf(e, e.moveList[p][e.bestListIndex[p]]) : 0;
    entry.key = key;
    entry.score = v;
    entry.turn = e.turnNumber;
    entry.iteration = static_cast<std::uint8_t>(e.iterationDepth);
    entry.ply = static_cast<std::uint8_t>(p);
    entry.bound = bound;
    entry.pathFree = e.plyRecord[p - 1][kRecHalfMoveClock] == 0 ? 1 : 0;
    entry.pathKey = entry.pathFree != 0 ? repetitionKeyBits(e, p) : 0;
}

}  // namespace

// The score of ply a (plyScore[a][2]) is compared with the bound of every ply of the other side
// above it that already holds a score; reaching any one of those bounds (equality included)
// means the other side will not take this line there, so ply a need not look further. A tighter
// bound only cuts subtrees whose result could not be taken: moves are taken only when they beat
// a ply's bound, so the first best move at every exact ply, and with it the line, stays the
// same.
int cutoffTest(const EngineState& e, int a) {
    if (a <= 1) return 1;
    return reachesBound(e, a, e.plyScore[a][2]) ? 0 : 1;
}

int standPatTest(const EngineState& e, int a) {
    return cutoffTest(e, a);
}

void backUpScore(EngineState& e, int p, BackUpKind kind, bool leafFromExtend, int piece, int slot,
                 int listIndex) {
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
    const int b = e.plyBound[p];
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
        e.plyBound[p] = s;
        e.bestListIndex[p] = listIndex;
        if (leafLine)
            storeLine(e, p, e.currentScore);
        else
            takeLine(e, p);
        if (p == 1 && kind == BackUpKind::kInnerBelowDepth) {
            e.bestRootPiece = piece;
            e.bestRootSlot = slot;
        }
    }
    e.plyScore[p + 1][1] = 0;
}

void searchIteration(EngineState& e) {
    enum class Step { kMake, kDescend, kExtend, kLeaf, kAdvance, kFinish };

    e.moveCursor.clear();
    e.positionTable.prepare();
    // The position table is consulted at the plies above the last of the nominal depth.
    e.keyedPlies = e.iterationDepth - 2;
    int p = 1;
    e.moveCursor[1] = 1;
    generateCandidates(e, 1);
    int piece, slot;
    int listIndex = 1;  // place of the current move in moveList[p] (0: the first root move)
    if (e.iterationDepth >= 3) {
        piece = e.firstRootPiece;
        slot = e.firstRootSlot;
        e.moveCursor[1] = 0;
        listIndex = 0;
    } else {
        piece = e.moveList[1][1][kCandPiece];
        slot = e.moveList[1][1][kCandSlot];
    }
    e.plyRecord[0][kRecHalfMoveClock] = e.gameMoves[e.gamePly - 1][8];
    int cut = 1;
    e.legalMovesAtPly[1] = 0;
    e.nodeCount = 0.0;
    enterWindow(e, 1);

    // The current move of a ply: its place in the list, and the bound it must beat.
    auto currentMoveOf = [&](int ply) {
        if (ply == 1 && e.moveCursor[1] == 0) {
            piece = e.firstRootPiece;
            slot = e.firstRootSlot;
            listIndex = 0;
            return;
        }
        const bool lastPly = ply == e.iterationDepth && ply > 1;
        if (lastPly && e.moveCursor[ply] == 0) {
            piece = e.lastPlyFirstMove[ply][kCandPiece];
            slot = e.lastPlyFirstMove[ply][kCandSlot];
            listIndex = 0;
            return;
        }
        listIndex = e.moveCursor[ply];
        if (explorePlyInOwnOrder(e, ply)) {
            listIndex = e.exploreOrder[ply][listIndex];
            if (e.plyScore[ply][1] == 1)
                e.plyBound[ply] =
                    e.plyScore[ply][2] - (listIndex < e.bestListIndex[ply] ? e.sideToMove : 0);
        } else if (lastPly && e.plyScore[ply][1] == 1) {
            e.plyBound[ply] = e.plyScore[ply][2] -
                              (e.bestListIndex[ply] == 0 &&
                                       listedBeforeFirstMove(e, ply, e.moveList[ply][listIndex])
                                   ? e.sideToMove
                                   : 0);
        }
        piece = e.moveList[ply][listIndex][kCandPiece];
        slot = e.moveList[ply][listIndex][kCandSlot];
    };

    bool leafFromExtend = false;
    bool storeFinished = false;  // the ply being finished was searched (not ended by the table)
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
                } else if (listIndex == 0) {
                    makeCandidate(e, result, p, e.lastPlyFirstMove[p]);
                } else if (p == e.iterationDepth && e.lastPlyFirstState[p] == 2 &&
                           piece == e.lastPlyFirstMove[p][kCandPiece] &&
                           slot == e.lastPlyFirstMove[p][kCandSlot]) {
                    // Explored first already.
                } else if (p == 1 && firstRootMove) {
                    // The move searched first meets itself in the root list: the same position
                    // by the same path, whose score could only tie, and a tie is never taken.
                } else if (!cannotBeTaken(e, p, e.moveList[p][listIndex])) {
                    makeCandidate(e, result, p, e.moveList[p][listIndex]);
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
            case Step::kDescend: {
                p += 1;
                e.sideToMove = -e.sideToMove;
                enterWindow(e, p);
                e.moveCount[p] = 0;
                e.moveCursor[p] = 1;
                e.legalMovesAtPly[p] = 0;
                e.quietDrawKnown[p] = 0;
                if (!explorePlyInOwnOrder(e, p)) {
                    e.passedCeilingSet[p] = 0;
                    e.lastPlyFirstState[p] = 0;
                    if (p == e.iterationDepth && p > 1 && !e.listOrderOnly &&
                        quietCandidate(e, e.lastPlyKiller[p][1], e.lastPlyKiller[p][2],
                                       e.lastPlyFirstMove[p])) {
                        // The list is made after this move, if it does not end the ply.
                        e.lastPlyFirstState[p] = 1;
                        e.staticScore[p] = materialScore(e);
                        e.moveCursor[p] = 0;
                        currentMoveOf(p);
                        step = Step::kMake;
                        break;
                    }
                    listSearchCandidates(e, p);
                    if (e.moveCount[p] == 0) {
                        step = Step::kAdvance;
                        break;
                    }
                    if (p == e.iterationDepth) e.staticScore[p] = materialScore(e);
                    currentMoveOf(p);
                    step = Step::kMake;
                    break;
                }
                const PositionEntry* entry = e.positionTable.find(e.fullKey[p - 1]);
                if (entry != nullptr && tableEndsPly(e, p, *entry)) {
                    e.plyScore[p][1] = 1;
                    e.plyScore[p][2] = entry->score;
                    setLine(e, p, p - 1, entry->score);
                    e.legalMovesAtPly[p] = 1;
                    storeFinished = false;
                    step = Step::kFinish;
                    break;
                }
                generateCandidates(e, p);
                if (e.moveCount[p] == 0) {
                    step = Step::kAdvance;
                    break;
                }
                orderPly(e, p, entry != nullptr ? entry->move : 0);
                currentMoveOf(p);
                step = Step::kMake;
                break;
            }
            case Step::kExtend: {
                scorePosition(e, p, ScoreKind::kMaterial);
                e.plyScore[p + 1][2] = e.currentScore;
                enterWindow(e, p + 1);
                if (standPatTest(e, p + 1) == 0) {
                    cut = 0;
                    leafFromExtend = true;
                    step = Step::kLeaf;
                    break;
                }
                cut = 1;
                p += 1;
                e.sideToMove = -e.sideToMove;
                if (int ceiling; extensionFailsLow(e, p, e.currentScore, ceiling)) {
                    // Nothing there could make the ply exact: the move before it is a leaf
                    // with the ceiling of the best capture.
                    p -= 1;
                    e.sideToMove = -e.sideToMove;
                    e.currentScore = ceiling;
                    leafFromExtend = true;
                    step = Step::kLeaf;
                    break;
                }
                e.passedCeilingSet[p] = 0;
                e.moveCount[p] = 0;
                e.moveCursor[p] = 1;
                listCapturesOnto(e, p, capturesWorthListing(e, p, e.currentScore));
                if (e.moveCount[p] > 0) {
                    e.plyScore[p][1] = 1;
                    e.plyBound[p] = e.currentScore;
                    // The stand-pat line: the path so far.
                    setLine(e, p, p - 1, e.currentScore);
                    e.staticScore[p] = e.currentScore;
                    e.quietDrawKnown[p] = 0;
                    e.quiescenceDepth += 1;
                    if (e.quiescenceDepth > e.maxQuiescenceDepth)
                        e.maxQuiescenceDepth = e.quiescenceDepth;
                    currentMoveOf(p);
                    e.legalMovesAtPly[p] = 0;
                    step = Step::kMake;
                } else {
                    // Without a capture worth making, the static score stands, or the ceiling of
                    // the captures left unlisted when that is better.
                    if (e.passedCeilingSet[p] != 0) e.currentScore = e.passedCeiling[p];
                    p -= 1;
                    e.sideToMove = -e.sideToMove;
                    leafFromExtend = true;
                    step = Step::kLeaf;
                }
                break;
            }
            case Step::kLeaf:
                backUpScore(e, p, BackUpKind::kLeaf, leafFromExtend, piece, slot, listIndex);
                cut = cutoffTest(e, p);
                if (cut == 0) noteCut(e, p, listIndex);
                takeBackMove(e, p);
                step = Step::kAdvance;
                break;
            case Step::kAdvance:
                if (e.lastPlyFirstState[p] == 1 && p == e.iterationDepth) {
                    e.lastPlyFirstState[p] = 2;
                    if (e.searchStatus == 1 && cut == 1) listSearchCandidates(e, p);
                }
                if (e.searchStatus == 1 && cut == 1 &&
                    (e.moveCursor[p] < e.moveCount[p] ||
                     (!quietMovesCannotBeTaken(e, p) && listMoreCandidates(e, p)))) {
                    e.moveCursor[p] += 1;
                    currentMoveOf(p);
                    step = Step::kMake;
                    break;
                }
                storeFinished = true;
                step = Step::kFinish;
                break;
            case Step::kFinish:
                // Ply p is finished.
                if (storeFinished && explorePlyInOwnOrder(e, p) && e.searchStatus == 1)
                    storePly(e, p, cut == 0);
                if (p >= e.iterationDepth && e.passedCeilingSet[p] != 0 &&
                    (e.sideToMove > 0 ? e.passedCeiling[p] > e.plyScore[p][2]
                                      : e.passedCeiling[p] < e.plyScore[p][2]))
                    e.plyScore[p][2] = e.passedCeiling[p];
                p -= 1;
                if (e.quiescenceDepth > 0) e.quiescenceDepth -= 1;
                e.sideToMove = -e.sideToMove;
                if (p == 0) {
                    // Every move is taken back: no draw flag stands on the path any more. (The
                    // sum is otherwise refreshed only by the next repetition test, which a move
                    // passed over does not run.)
                    e.repetitionFlags[0] = 0;
                    e.keyedPlies = kMaxDepth + 1;
                    return;
                }
                currentMoveOf(p);
                backUpScore(e, p,
                            p < e.iterationDepth ? BackUpKind::kInnerBelowDepth
                                                 : BackUpKind::kInnerExtension,
                            false, piece, slot, listIndex);
                cut = cutoffTest(e, p);
                if (cut == 0) noteCut(e, p, listIndex);
                e.legalMovesAtPly[p + 1] = 0;
                takeBackMove(e, p);
                if (turnMustEnd(e)) e.searchStatus = 0;
                step = Step::kAdvance;
                break;
        }
    }
}

}  // namespace qm

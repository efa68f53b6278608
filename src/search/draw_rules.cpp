#include "search/draw_rules.h"

#include <cmath>
#include <iterator>

#include "board/game_record.h"
#include "board/make_move.h"

namespace qm {

void fiftyMoveCheck(EngineState& e, int p) {
    auto& row = e.plyRecord[p];
    int moverKind = absOf(e.pieceKind[row[kRecMover]]);
    if (row[kRecCaptured] != 0 || moverKind == kPawn || moverKind == kPawnDoubleStep ||
        row[kRecPromotion] != 0)
        row[kRecHalfMoveClock] = 0;
    else
        row[kRecHalfMoveClock] = e.plyRecord[p - 1][kRecHalfMoveClock] + 1;
    if (row[kRecHalfMoveClock] >= 100) {
        e.currentScore = 0;
        e.fiftyMoveFlag = 1;
    } else {
        e.fiftyMoveFlag = 0;
    }
}

namespace {

// How many positions of the window that a position at row n with half-move clock h looks back
// on (the same side to move, since the last capture or pawn move, not before the set-up) have
// the digest `digest`; a position where an en-passant capture was possible is not counted.
int earlierOccurrences(const EngineState& e, int n, int h, double digest) {
    int count = 0;
    for (int i = n - 2 * (h / 2); i <= n - 2; i += 2) {
        if (i < 0 || i < e.setupRow) continue;
        if (keyDigest(e.positionKey[i][1]) == digest && e.positionKey[i][3] == 0.0) ++count;
    }
    return count;
}

}  // namespace

void repetitionCheck(EngineState& e, int p) {
    const int n = e.gamePly + p - 1;
    const auto& row = e.plyRecord[p];
    const int f1 = row[kRecFromFile], r1 = row[kRecFromRank];
    const int f2 = row[kRecToFile], r2 = row[kRecToRank];
    const int ka = row[kRecKindAfterSearch], kb = row[kRecKindAfter];

    double removed;
    auto& key = e.positionKey[n];
    if (absOf(kb) != kPawnDoubleStep) {
        removed = keyTerm(e, ka, f1, r1);
        key[3] = 0.0;
    } else {
        int s = signOf(ka);
        removed = keyTerm(e, s, f1, r1);
        int besideRank = s > 0 ? 4 : 5;
        bool capturable = false;
        for (int f : {f1 - 1, f1 + 1}) {
            if (f < 1 || f > 8) continue;
            int other = e.board[f][besideRank];
            if (other != 0 && e.pieceKind[other] == -s) capturable = true;
        }
        key[3] = capturable ? 1.0 : 0.0;
    }
    key[1] = e.positionKey[n - 1][1] - removed + keyTerm(e, kb, f2, r2);

    // The digests are compared only here. The search's own rows get theirs when a comparison
    // needs it; every earlier row's digest is worked out from its key, as it was stored.
    const int h = row[kRecHalfMoveClock];
    if (h >= 4) {
        key[2] = keyDigest(key[1]);
        if (earlierOccurrences(e, n, h, key[2]) >= 2) e.repetitionFlags[p] = 1;
    }

    int sum = 0;
    for (int i = 1; i <= p; ++i) sum += e.repetitionFlags[i];
    e.repetitionFlags[0] = sum;
    if (sum >= 1) e.currentScore = 0;
}

namespace {

// Two knights against a bare king and nothing else: whether that is drawn depends on where the
// pieces stand and who is to move.
bool knightPairEnding(const GameTables& g) {
    const auto& m = g.materialCount;
    const int W = m[1][1] + m[2][1] + m[3][1] + m[3][2] + m[4][1] + m[5][1];
    const int B = m[-1][1] + m[-2][1] + m[-3][1] + m[-3][2] + m[-4][1] + m[-5][1];
    return (B == 0 && W == 2 && m[2][1] == 2) || (W == 0 && B == 2 && m[-2][1] == 2);
}

// Whether two positions of the window of a quiet move at ply p share a digest: only then can
// the position after the move be a third occurrence.
bool windowHoldsARepeat(const EngineState& e, int n, int h) {
    double seen[kMaxDepth + 60];
    int count = 0;
    for (int i = n - 2 * (h / 2); i <= n - 2; i += 2) {
        if (i < 0 || i < e.setupRow || e.positionKey[i][3] != 0.0) continue;
        const double digest = keyDigest(e.positionKey[i][1]);
        for (int k = 0; k < count; ++k)
            if (seen[k] == digest) return true;
        if (count < static_cast<int>(std::size(seen))) seen[count++] = digest;
    }
    return false;
}

}  // namespace

bool anyQuietMoveMayDraw(EngineState& e, int p) {
    int& known = e.quietDrawKnown[p];
    if (known == 0) {
        // A quiet move of a piece other than a pawn counts the half-move clock on by one.
        const int h = e.plyRecord[p - 1][kRecHalfMoveClock] + 1;
        const bool may = knightPairEnding(e) || h >= 100 ||
                         (h >= 4 && windowHoldsARepeat(e, e.gamePly + p - 1, h));
        known = may ? 2 : 1;
    }
    return known == 2;
}

bool quietMoveMayDraw(EngineState& e, int p, const CandidateRow& row) {
    if (!anyQuietMoveMayDraw(e, p)) return false;
    if (knightPairEnding(e)) return true;
    const int index = row[kCandPiece] * e.sideToMove;
    int kind = e.pieceKind[index];
    // A pawn move starts the count again: no draw by rule can follow it.
    if (absOf(kind) == kPawn || absOf(kind) == kPawnDoubleStep) return false;
    const int h = e.plyRecord[p - 1][kRecHalfMoveClock] + 1;
    if (h >= 100) return true;
    if (h < 4) return false;
    // The key the repetition test would give the position after the move, worked out the same
    // way: a king that moves (or castles) loses its castling rights.
    if (absOf(kind) >= kKingBoth && absOf(kind) <= kKingQueenside) kind = kKingNone * e.sideToMove;
    const int fromFile = row[kCandFromFile], fromRank = row[kCandFromRank];
    int toFile = row[kCandToFile], toRank = row[kCandToRank];
    if (toFile == 0) {  // castling: the king's own move
        toFile = e.kingTypeAtSlot[row[kCandSlot]] == 9 ? 7 : 3;
        toRank = fromRank;
    }
    const int n = e.gamePly + p - 1;
    const double key = e.positionKey[n - 1][1] - keyTerm(e, kind, fromFile, fromRank) +
                       keyTerm(e, kind, toFile, toRank);
    return earlierOccurrences(e, n, h, keyDigest(key)) >= 2;
}

namespace {

// Code of the king-and-two-knights position: bare king, other king, first and second knight
// met scanning files then ranks. Kings are seen only without castling rights.
int knightPairCodeOf(const GameTables& g, int bareSide) {
    int K = 0, J = 0, I = 0, H = 0, G = 0, F = 0, E = 0, D = 0;
    int kings = 0, knights = 0;
    for (int file = 1; file <= 8; ++file) {
        for (int rank = 1; rank <= 8; ++rank) {
            int index = g.board[file][rank];
            if (index == 0) continue;
            int kind = g.pieceKind[index];
            if (absOf(kind) == kKingNone) {
                if (signOf(kind) == bareSide)
                    K = file, J = rank;
                else
                    I = file, H = rank;
                ++kings;
            } else if (absOf(kind) == kKnight) {
                if (knights == 0)
                    G = file, F = rank;
                else
                    E = file, D = rank;
                ++knights;
            }
            if (kings == 2 && knights == 2) break;
        }
        if (kings == 2 && knights == 2) break;
    }
    return K * 10000000 + J * 1000000 + I * 100000 + H * 10000 + G * 1000 + F * 100 + E * 10 + D;
}

}  // namespace

bool deadMaterial(const GameTables& g) {
    const auto& m = g.materialCount;
    int W = m[1][1] + m[2][1] + m[3][1] + m[3][2] + m[4][1] + m[5][1];
    int B = m[-1][1] + m[-2][1] + m[-3][1] + m[-3][2] + m[-4][1] + m[-5][1];
    if (W == 0 && B == 0) return true;
    if (W == m[3][2] && B == m[-3][2]) return true;
    if (W == m[3][1] && B == m[-3][1]) return true;
    return (B == 0 && W == 1 && m[2][1] == 1) || (W == 0 && B == 1 && m[-2][1] == 1);
}

bool insufficientMaterial(const EngineState& e, int sideToMoveNext) {
    const auto& m = e.materialCount;
    // A pawn, rook or queen on the board is always enough.
    if ((m[1][1] | m[-1][1] | m[4][1] | m[-4][1] | m[5][1] | m[-5][1]) != 0) return false;
    if (deadMaterial(e)) return true;
    int W = m[1][1] + m[2][1] + m[3][1] + m[3][2] + m[4][1] + m[5][1];
    int B = m[-1][1] + m[-2][1] + m[-3][1] + m[-3][2] + m[-4][1] + m[-5][1];
    bool whitePair = B == 0 && W == 2 && m[2][1] == 2;
    bool blackPair = W == 0 && B == 2 && m[-2][1] == 2;
    if (whitePair || blackPair) {
        int bareSide = whitePair ? -1 : 1;
        int code = knightPairCodeOf(e, bareSide);
        bool found = sideToMoveNext == bareSide ? knightPairFound(e.knightPairMated, code)
                                                : knightPairFound(e.knightPairMateInOne, code);
        return !found;
    }
    return false;
}

void materialDrawCheck(EngineState& e) {
    e.materialDrawFlag = insufficientMaterial(e, -e.sideToMove) ? 1 : 0;
    if (e.materialDrawFlag == 1) e.currentScore = 0;
}

}  // namespace qm

#include "board/unmake_move.h"

#include <cstdio>
#include <cstdlib>

#include "board/make_move.h"
#include "board/state_init.h"

namespace qm {

namespace {

// What every take-back ends with: the kings' castling rights as they were, the row cleared, and
// the en-passant state of the position before the move.
void finishUnmake(BoardState& e, int p, int s) {
    auto& R = e.plyRecord[p];
    if (R[kRecOwnKingKind] != 0) e.pieceKind[e.pieceIndexOf[13] * s] = R[kRecOwnKingKind];
    if (R[kRecOtherKingKind] != 0) e.pieceKind[e.pieceIndexOf[13] * -s] = R[kRecOtherKingKind];

    for (int c = 1; c <= 14; ++c) R[c] = 0;

    const auto& before = e.plyRecord[p - 1];
    if (before[kRecDoubleStep] != 0) {
        int pawn = before[kRecMover];
        e.epInfo[1] = before[kRecToFile];
        e.epInfo[2] = before[kRecToRank];
        e.epInfo[3] = pawn;
        e.epInfo[4] = -s;
        e.board[before[kRecToFile]][before[kRecToRank]] = pawn;
        e.pieceKind[pawn] = -kPawnDoubleStep * s;
    }
#if QUILLOMAR_TABLE_CHECKS
    if (!occupancyAgrees(e)) {
        std::fprintf(stderr, "occupied squares differ from the board after a take-back at ply %d\n",
                     p);
        std::abort();
    }
#endif
}

}  // namespace

void unmakeListedMove(BoardState& e, int p) {
    const int s = e.sideToMove;
    auto& R = e.plyRecord[p];
    const int mover = R[kRecMover];
    const int captured = R[kRecCaptured];

    // Most moves are a plain move or capture: no castling, en passant, promotion or two-square
    // advance to undo.
    if ((R[kRecCastling] | R[kRecEnPassant] | R[kRecPromotion] | R[kRecDoubleStep]) == 0 &&
        e.epInfo[1] == 0) {
        const int fromFile = R[kRecFromFile], fromRank = R[kRecFromRank];
        const int toFile = R[kRecToFile], toRank = R[kRecToRank];
        e.board[fromFile][fromRank] = mover;
        e.board[toFile][toRank] = captured;
        e.piecePos[mover][1] = fromFile;
        e.piecePos[mover][2] = fromRank;
        const SquareSet moved = squareSet(fromFile, fromRank) | squareSet(toFile, toRank);
        e.occupied[s] ^= moved;
        e.kindSquares[s][kindClass(e.pieceKind[mover])] ^= moved;
        if (captured != 0) {
            e.occupied[-s] ^= squareSet(toFile, toRank);
            const int kind = e.pieceKind[captured];
            e.kindSquares[-s][kindClass(kind)] ^= squareSet(toFile, toRank);
            if (absOf(kind) == kBishop)
                e.materialCount[kind][bishopColumn(toFile, toRank)] += 1;
            else
                e.materialCount[kind][1] += 1;
            e.piecePos[captured][1] = toFile;
            e.piecePos[captured][2] = toRank;
        }
        const int moverKind = absOf(e.pieceKind[mover]);
        if (moverKind > 5 && moverKind < 10) {
            e.kingPos[s][1] = fromFile;
            e.kingPos[s][2] = fromRank;
        }
        finishUnmake(e, p, s);
        return;
    }

    expireEnPassant(e, p);

    e.board[R[kRecFromFile]][R[kRecFromRank]] = mover;
    e.board[R[kRecToFile]][R[kRecToRank]] = captured;
    const SquareSet from = squareSet(R[kRecFromFile], R[kRecFromRank]);
    const SquareSet to = squareSet(R[kRecToFile], R[kRecToRank]);
    e.occupied[s] ^= from | to;
    if (R[kRecPromotion] != 0) {
        e.kindSquares[s][kPawn] ^= from;
        e.kindSquares[s][kindClass(R[kRecPromotion])] ^= to;
    } else {
        e.kindSquares[s][kindClass(e.pieceKind[mover])] ^= from | to;
    }
    if (captured != 0) {
        const SquareSet taken =
            squareSet(R[kRecToFile], R[kRecEnPassant] != 0 ? R[kRecFromRank] : R[kRecToRank]);
        e.occupied[-s] ^= taken;
        e.kindSquares[-s][kindClass(e.pieceKind[captured])] ^= taken;
    }

    if (captured != 0) {
        int kind = e.pieceKind[captured];
        if (R[kRecEnPassant] != 0)
            e.materialCount[signOf(kind)][1] += 1;
        else if (absOf(kind) == kBishop)
            e.materialCount[kind][bishopColumn(R[kRecToFile], R[kRecToRank])] += 1;
        else
            e.materialCount[kind][1] += 1;
    }

    e.piecePos[mover][1] = R[kRecFromFile];
    e.piecePos[mover][2] = R[kRecFromRank];

    if (R[kRecDoubleStep] == 1) e.pieceKind[mover] = s;

    if (R[kRecEnPassant] == 1) {
        e.board[R[kRecToFile]][R[kRecToRank] - s] = captured;
        e.board[R[kRecToFile]][R[kRecToRank]] = 0;
        e.pieceKind[captured] = -kPawnDoubleStep * s;
        e.epInfo[1] = R[kRecToFile];
        e.epInfo[2] = R[kRecToRank] - s;
        e.epInfo[3] = captured;
        e.epInfo[4] = -s;
    }

    if (absOf(e.pieceKind[mover]) > 5 && absOf(e.pieceKind[mover]) < 10) {
        e.kingPos[s][1] = R[kRecFromFile];
        e.kingPos[s][2] = R[kRecFromRank];
    }

    const int promotion = R[kRecPromotion];
    if (promotion != 0) {
        e.pieceKind[mover] = s;
        e.pieceSlots[mover] = kPawnSlots;
        e.materialCount[s][1] += 1;
        if (absOf(promotion) == kBishop)
            e.materialCount[promotion][bishopColumn(R[kRecToFile], R[kRecToRank])] -= 1;
        else
            e.materialCount[promotion][1] -= 1;
    }

    if (captured != 0) {
        e.piecePos[captured][1] = R[kRecToFile];
        e.piecePos[captured][2] = R[kRecToRank];
        if (absOf(e.pieceKind[captured]) == kPawnDoubleStep &&
            (R[kRecToRank] == 3 || R[kRecToRank] == 6)) {
            e.board[R[kRecToFile]][R[kRecFromRank]] = captured;
            e.board[R[kRecToFile]][R[kRecToRank]] = 0;
            e.piecePos[captured][1] = R[kRecToFile];
            e.piecePos[captured][2] = R[kRecFromRank];
        }
    }

    const int rank = R[kRecFromRank];
    if (R[kRecCastling] == 1) {
        int rook = e.pieceIndexOf[16] * s;
        e.board[5][rank] = mover;
        e.board[8][rank] = rook;
        e.board[7][rank] = 0;
        e.board[6][rank] = 0;
        e.piecePos[mover][1] = 5;
        e.piecePos[mover][2] = rank;
        e.piecePos[rook][1] = 8;
        e.piecePos[rook][2] = rank;
        e.occupied[s] ^= squareSet(8, rank) | squareSet(6, rank);
        e.kindSquares[s][kRook] ^= squareSet(8, rank) | squareSet(6, rank);
    } else if (R[kRecCastling] == 2) {
        int rook = e.pieceIndexOf[9] * s;
        e.board[5][rank] = mover;
        e.board[1][rank] = rook;
        e.board[3][rank] = 0;
        e.board[4][rank] = 0;
        e.piecePos[mover][1] = 5;
        e.piecePos[mover][2] = rank;
        e.piecePos[rook][1] = 1;
        e.piecePos[rook][2] = rank;
        e.occupied[s] ^= squareSet(1, rank) | squareSet(4, rank);
        e.kindSquares[s][kRook] ^= squareSet(1, rank) | squareSet(4, rank);
    }

    finishUnmake(e, p, s);
}

}  // namespace qm

// Making a listed candidate at a search ply: decode it again, test the king's safety, play it
// on the board and record it in plyRecord[p] so that takeBackMove can undo it exactly.
#pragma once

#include "board/board_state.h"

namespace qm {

// Columns of a plyRecord row.
enum PlyColumn : int {
    kRecMover = 1,
    kRecSlot = 2,
    kRecCaptured = 3,
    kRecPromotion = 4,
    kRecDoubleStep = 5,
    kRecFromFile = 6,
    kRecFromRank = 7,
    kRecToFile = 8,
    kRecToRank = 9,
    kRecCastling = 10,     // 1 kingside, 2 queenside
    kRecOwnKingKind = 11,  // mover's king kind before the move, when the move changed it
    kRecEnPassant = 12,
    kRecOtherKingKind = 13,  // other king's kind before the move, when a rook capture changed it
    kRecHalfMoveClock = 14,
    kRecKindAfter = 15,
    kRecKindAfterSearch = 16,
};

// result 1 when the move was made, 0 when refused.
void makeListedMove(BoardState& e, int& result, int p, int piece, int slot);

// Turns the pawn marked as just double-stepped into an ordinary pawn and clears epInfo.
void expireEnPassant(BoardState& e, int p);

void makePlainMove(BoardState& e, int p, int index, int slot, int fromFile, int fromRank,
                   int toFile, int toRank);
void makePawnCapture(BoardState& e, int p, int index, int slot, int fromFile, int fromRank,
                     int toFile, int toRank);
void makeEnPassant(BoardState& e, int p, int index, int slot, int fromFile, int fromRank,
                   int toFile, int toRank);
void makeDoubleStep(BoardState& e, int p, int index, int slot, int fromFile, int fromRank,
                    int toFile, int toRank);
void makePromotion(BoardState& e, int p, int index, int slot, int fromFile, int fromRank,
                   int toFile, int toRank);
void makeCastling(BoardState& e, int p, int index, int slot, int kingToFile);

}  // namespace qm

// Making a listed candidate at a search ply: decode it again, test the king's safety, play it
// on the board and record it in plyRecord[p] so that takeBackMove can undo it exactly.
#pragma once

#include "board/board_state.h"

namespace qm {

// result 1 when the move was made, 0 when refused.
void makeListedMove(BoardState& e, int& result, int p, int piece, int slot);

// The same for a row of the candidate list built in this very position (moveList[p] as it
// stands): the row already holds what decoding the slot would find.
void makeCandidate(BoardState& e, int& result, int p, const CandidateRow& row);

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

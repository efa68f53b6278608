// The ordered list of pseudo-legal candidate moves of the side to move, as (piece, slot)
// pairs sorted into 20 buckets by a capture key. Beyond iterationDepth quiet moves are left
// out, which turns the deeper plies into a capture search.
#pragma once

#include "board/board_state.h"

namespace qm {

// Columns of a candidate record.
enum CandidateColumn : int {
    kCandFromFile = 1,
    kCandFromRank = 2,
    kCandToFile = 3,  // 0 for castling
    kCandToRank = 4,
    kCandTargetKind = 5,  // absolute kind on the target, 10 for en passant
    kCandPromotion = 6,   // signed promotion kind
    kCandPiece = 7,       // absolute piece index
    kCandSlot = 8,
};

inline constexpr int kSlotNoCandidate = 0;
inline constexpr int kSlotCandidate = 1;
inline constexpr int kSlotQuietBeyondDepth = 3;

void generateCandidates(BoardState& e, int ply);

// Tries slot `slot` of piece number `piece`; may advance slot to skip slots that cannot give
// a move. result: 0 none, 1 candidate added, 3 quiet ray square beyond iterationDepth.
void generateSlot(BoardState& e, int& result, int ply, int piece, int& slot);

void addCandidate(BoardState& e, int fromFile, int fromRank, int toFile, int toRank, int piece,
                  int slot);

void flattenCandidates(BoardState& e, int ply);

}  // namespace qm

// The ordered list of pseudo-legal candidate moves of the side to move, as (piece, slot)
// pairs sorted into 20 buckets by a capture key. Beyond iterationDepth quiet moves are left
// out, which turns the deeper plies into a capture search.
#pragma once

#include "board/board_state.h"

namespace qm {

inline constexpr int kSlotNoCandidate = 0;
inline constexpr int kSlotCandidate = 1;
inline constexpr int kSlotQuietBeyondDepth = 3;

void generateCandidates(BoardState& e, int ply);

// The same list for the search, built as the search walks it: at plies up to iterationDepth
// first the candidates of a capture key above 1, then, each time listMoreCandidates is called,
// the key-1 candidates (quiet moves, pawn steps, castling) of the next pieces that have any.
// The list in moveList[ply] is always a beginning of the one generateCandidates builds, and
// is empty only when that one is. The position must be the same at every call for the ply.
void listSearchCandidates(BoardState& e, int ply);

// Beyond the nominal depth: the list of generateCandidates without the captures of pieces that
// do not stand on `targets` (promotions and castling are always listed).
void listCapturesOnto(BoardState& e, int ply, SquareSet targets);

// Appends the key-1 candidates of the next piece that has any; false when none are left.
bool listMoreCandidates(BoardState& e, int ply);

// Tries slot `slot` of piece number `piece`; may advance slot to skip slots that cannot give
// a move. result: 0 none, 1 candidate added, 3 quiet ray square beyond iterationDepth.
void generateSlot(BoardState& e, int& result, int ply, int piece, int& slot);

void addCandidate(BoardState& e, int fromFile, int fromRank, int toFile, int toRank, int piece,
                  int slot);

void flattenCandidates(BoardState& e, int ply);

// Whether slot `slot` of piece number `piece` names a quiet candidate of the side to move in the
// position (a key-1 move as the list would hold it: a quiet step or jump, a ray move over empty
// squares, a pawn's advance short of promotion, or castling), and that row.
bool quietCandidate(const BoardState& e, int piece, int slot, CandidateRow& row);

}  // namespace qm

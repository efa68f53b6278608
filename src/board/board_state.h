// What the board layer works on: the game tables, the candidate lists built from them, and the
// seams to the outside world (the random generator renumbers pieces, the clock seeds it).
#pragma once

#include "board/game_state.h"
#include "board/table.h"
#include "platform/platform.h"

namespace qm {

inline constexpr int kListRows = 321;  // candidates per ply at most
inline constexpr int kBuckets = 20;
inline constexpr int kCheckFollowsMove = 3;

using CandidateRow = Table<int, 1, 8>;

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

using CandidateList = Table<CandidateRow, 1, kListRows>;
// A move as the search and the legal-move list describe it: [1..4] squares, [5] promotion kind
// (absolute), [6] score, [8] signed kind of the moved piece after the move, [9] line length.
using MoveEntry = Table<int, 1, 9>;

struct CandidateTables {
    Table<CandidateList, 1, kMaxDepth> moveList;
    Table<int, 1, kMaxDepth> moveCount;
    Table<CandidateList, 1, kBuckets> candidateBuckets;
    Table<int, 1, kBuckets> bucketCount;
    unsigned bucketsInUse = 0;  // bit b set once bucket b took a candidate since the last listing
    int captureKey = 0;
    int capturedKindOfCandidate = 0;
    int promotionKindOfCandidate = 0;
    // Nominal depth of the search iteration in progress: beyond this ply only captures,
    // promotions and castling are listed.
    int iterationDepth = 0;
    // Piece number whose key-1 candidates listMoreCandidates lists next at a ply; 17 when the
    // ply's list is complete.
    Table<int, 1, kMaxDepth> quietPieceNext;
    int quietListPly = 1;                      // the ply whose list listMoreCandidates is extending
    int listingPly = 1;                        // the ply whose list is being made
    SquareSet captureTargets = ~SquareSet{0};  // the squares whose pieces the listing may take
    Table<int, 1, kListRows> listKeys;  // the ordering key of each candidate listed, by place
    // Whether the king of the side to move stands in check in the position a move at ply p is
    // made from: 0 not known yet, kKingSafe or kKingAttacked once worked out, or
    // kCheckFollowsMove after a move was made at ply p - 1: then that move tells. Listing the
    // candidates of a ply forgets what it knew otherwise.
    Table<int, 1, kMaxDepth + 1> checkBeforePly;
    // The pinned pieces in the same position, valid while pinsKnownPly[p] is 1 (known only
    // when checkBeforePly[p] is).
    Table<SquareSet, 1, kMaxDepth + 1> pinsBeforePly;
    Table<int, 1, kMaxDepth + 1> pinsKnownPly;
    // 64-bit key of the whole position after the move of ply p, kept by the move maker for the
    // plies up to keyedPlies (row 0 is not used: a path starts from the board as it stands).
    Table<std::uint64_t, 0, kMaxDepth + 1> fullKey;
    int keyedPlies = kMaxDepth + 1;
};

struct BoardState : GameTables, CandidateTables {
    explicit BoardState(Platform& platform) : io(platform) {}
    BoardState(const BoardState&) = delete;
    BoardState& operator=(const BoardState&) = delete;

    Platform& io;
};

}  // namespace qm

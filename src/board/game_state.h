// The board, the piece list and every per-game table: what a position and a game are.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "board/table.h"

namespace qm {

inline constexpr int kMaxDepth = 40;       // rows of the per-depth tables
inline constexpr int kLastPlyRow = 11898;  // per-ply tables have rows 0..kLastPlyRow
inline constexpr int kHistoryCap = 12000;  // game moves kept for taking moves back

// Kind codes (signed by colour in pieceKind).
enum Kind : int {
    kPawn = 1,
    kKnight = 2,
    kBishop = 3,
    kRook = 4,
    kQueen = 5,
    kKingBoth = 6,       // may castle on both sides
    kKingKingside = 7,   // kingside only
    kKingQueenside = 8,  // queenside only
    kKingNone = 9,       // no castling right left
    kPawnDoubleStep = 10,
};

// Slot counts per kind.
inline constexpr int kPawnSlots = 18;
inline constexpr int kKnightSlots = 8;
inline constexpr int kBishopSlots = 28;
inline constexpr int kRookSlots = 28;
inline constexpr int kQueenSlots = 56;
inline constexpr int kKingSlots = 10;

inline bool lightSquare(int file, int rank) {
    return ((file + rank) & 1) == 1;
}
// materialCount column of a bishop standing on (file, rank): 1 light, 2 dark.
inline int bishopColumn(int file, int rank) {
    return lightSquare(file, rank) ? 1 : 2;
}
inline int signOf(int v) {
    return (v > 0) - (v < 0);
}
inline int absOf(int v) {
    return v < 0 ? -v : v;
}

// King kind after it loses the castling right on one side (same sign as the input): the
// queenside right takes 6 to 7 and 8 to 9, the kingside right 6 to 8 and 7 to 9.
inline int withoutCastlingRight(int kingKind, bool queenside) {
    int k = absOf(kingKind);
    if (queenside) {
        if (k == kKingBoth)
            k = kKingKingside;
        else if (k == kKingQueenside)
            k = kKingNone;
    } else {
        if (k == kKingBoth)
            k = kKingQueenside;
        else if (k == kKingKingside)
            k = kKingNone;
    }
    return kingKind < 0 ? -k : k;
}

// Class of a signed kind for kindSquares: 1 pawn (also just advanced two squares), 2 knight,
// 3 bishop, 4 rook, 5 queen, 6 king (whatever its castling rights); 0 for no piece.
inline int kindClass(int kind) {
    static constexpr int kClass[11] = {0, 1, 2, 3, 4, 5, 6, 6, 6, 6, 1};
    return kClass[absOf(kind)];
}

// Squares as the bits of a 64-bit set: bit (rank - 1) * 8 + (file - 1).
using SquareSet = std::uint64_t;
constexpr int squareBit(int file, int rank) {
    return (rank - 1) * 8 + (file - 1);
}
constexpr SquareSet squareSet(int file, int rank) {
    return SquareSet{1} << squareBit(file, rank);
}

// One step across the board: file and rank offsets.
struct Step {
    int file = 0;
    int rank = 0;
    bool operator==(const Step&) const = default;
};

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

// Row 0 and one row per search ply: a move is made only at plies 1..kMaxDepth + 1.
using PlyRows16 = Table<Table<int, 1, 16>, 0, kMaxDepth + 1>;
using PlyRows8 = Table<Table<int, 1, 8>, 0, kLastPlyRow>;
using PlyKeys = Table<Table<double, 1, 3>, 0, kLastPlyRow>;

struct GameTables {
    // --- the position ---
    Table<Table<int, 1, 8>, 1, 8> board;           // [file][rank] piece index, 0 empty
    Table<Table<int, 1, 2>, -16, 16> piecePos;     // [i][1] file, [i][2] rank, 0 when off
    Table<int, -16, 16> pieceKind;                 // signed kind code
    Table<int, -16, 16> pieceSlots;                // candidate slots of the piece
    Table<Table<int, 1, 2>, -1, 1> kingPos;        // [colour][1] file, [2] rank
    Table<int, 1, 4> epInfo;                       // file, rank, index, kind before the mark
    Table<Table<int, 1, 2>, -5, 5> materialCount;  // [kind][1], bishops [±3][1] light [2] dark
    // The squares each colour's pieces stand on ([1] White, [-1] Black), kept with the board
    // by every maker, take-back and set-up (the king-safety test's trial move leaves them).
    Table<SquareSet, -1, 1> occupied;
    // The same squares by kind class ([colour][class], kindClass below), kept alongside.
    Table<Table<SquareSet, 0, 6>, -1, 1> kindSquares;
    Table<int, -16, 16> pieceIndexOf;  // set-up index -> current index
    Table<Table<int, 1, 2>, -16, 16> pieceIndexTrack;

    // --- side, turn and game counters ---
    int sideToMove = 0;
    int engineSide = 0;
    int gamePly = 0;
    int engineState = 0;  // 0 wait, 1 must move, 2 move waits to be announced
    int forceMode = 0;
    std::string inputLine;
    std::string pendingMove;
    std::string positionFen;
    std::string engineMoveText;
    std::string resultText;

    // --- per-ply records ---
    PlyRows16 plyRecord;
    PlyRows8 gameMoves;
    // [row][1] key of the position after that ply, [2] its digest (in rows the search writes,
    // filled in only when a repetition test compares it), [3] 1 when an en-passant capture is
    // possible there.
    PlyKeys positionKey;
    Table<double, -10, 10> keyByKind;
    Table<double, 1, 8> keyByFile;
    Table<double, 1, 8> keyByRank;
    // The key term of each signed kind on each square, worked out from the three tables above.
    Table<Table<Table<double, 1, 8>, 1, 8>, -10, 10> keyTerms;

    // --- time control ---
    double levelMoves = 0.0;
    double engineClockCs = 0.0;
    double moveBudgetCs = 0.0;
    double clockStampTime = 0.0;
    double turnStartTime = 0.0;

    // --- slot orders (permutations) and their inverses ---
    Table<int, 1, 18> pawnSlotOrder;
    Table<int, 1, 10> kingSlotOrder;
    Table<int, 1, 8> knightJumpOrder;
    Table<int, 1, 4> bishopDirOrder;
    Table<int, 1, 4> rookDirOrder;
    Table<int, 1, 8> queenDirOrder;
    // Derived from the orders by refreshSlotTables, so that decoding a slot is a lookup: the
    // move type tried at a slot, for pawn slots 7..18 the position p at which pawnSlotOrder[p]
    // names the slot, and per side (its sign applied) the knight's jump and the king's step at
    // each slot and the direction each ray group of a bishop, rook or queen walks.
    Table<int, 1, 18> pawnSlotPosition;
    Table<int, 1, 10> kingTypeAtSlot;
    Table<int, 1, 8> knightJumpAtSlot;
    Table<Table<Step, 1, 8>, -1, 1> knightSlotStep;
    Table<Table<Step, 1, 10>, -1, 1> kingSlotStep;
    Table<Table<Table<Step, 1, 8>, kBishop, kQueen>, -1, 1> rayGroupStep;
    Table<Table<Table<int, 1, 8>, kBishop, kQueen>, -1, 1> rayGroupDirection;  // 1..8

    int maxDepth = kMaxDepth;

    // --- game bookkeeping beyond the classic tables ---
    bool positionHeld = false;  // a position is set up (false before "new", after "result" or a
                                // rejected "setboard")
    int setupRow = 0;           // positionKey row of the set-up position; earlier rows never
                                // count as occurrences
    int gamePlyBase = 0;        // plies dropped from the front of the per-ply tables
    bool timeSinceLastMove = false;  // a "time" command arrived since the engine's last move
    double levelBaseCs = 0.0;        // base time of the "level" command, centiseconds
    double levelIncrementCs = 0.0;   // increment of the "level" command, centiseconds
    double fixedMoveCs = 0.0;        // fixed time per move, centiseconds; 0 for none
    bool levelSeen = false;
    Table<std::uint64_t, 0, kLastPlyRow> positionSignature;  // exact position after each ply

    // The game's moves since the set-up, as text, so that moves can be taken back by setting
    // the position up again and replaying all but the last ones. [6] is 1 for the engine's
    // own moves.
    Table<std::array<char, 8>, 1, kHistoryCap> moveHistory;
    int historyCount = 0;
    int setupSideToMove = 0;      // side to move of the set-up position as it was resolved
    int setupPlyNumber = 1;       // game ply number of the set-up position
    bool historyComplete = true;  // false once a game outgrew moveHistory
    // gameMoves rows above this one hold nothing (before the tables are first cleared, any may).
    int highestGameRow = kLastPlyRow;
};

}  // namespace qm

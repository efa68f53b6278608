// Decoding of a piece's candidate slot into one move on the current position, and the board
// conditions such a move must meet. The candidate list and the move maker both use these, so
// a (piece, slot) pair always names the same move in the same position.
#pragma once

#include "board/game_state.h"

namespace qm {

enum class SlotMove {
    kStep,  // king step or knight jump
    kRay,   // one distance along a rook, bishop or queen direction
    kCastleKingside,
    kCastleQueenside,
    kPawnSingle,
    kPawnDouble,
    kPawnCapture,
    kPawnEnPassant,
    kPromotionPush,
    kPromotionCapture,
};

struct DecodedSlot {
    SlotMove type;
    int toFile;
    int toRank;
    int promotionKind;  // signed, 0 when not a promotion
    int group;          // ray group (1-based) for kRay
};

// How a decoded slot fares on the board (leaving aside the mover's king safety).
enum class SlotOutcome { kRefused, kQuiet, kCapture };

// Direction list shared by kings, rooks, bishops and queens: (file, rank) offsets.
inline constexpr int kDirFile[9] = {0, 0, 1, 0, -1, 1, 1, -1, -1};
inline constexpr int kDirRank[9] = {0, 1, 0, -1, 0, 1, -1, -1, 1};
inline constexpr int kJumpFile[9] = {0, 1, 2, 2, 1, -1, -2, -2, -1};
inline constexpr int kJumpRank[9] = {0, 2, 1, -1, -2, -2, -1, 1, 2};

constexpr bool onBoard(int file, int rank) {
    return static_cast<unsigned>(file - 1) < 8u && static_cast<unsigned>(rank - 1) < 8u;
}

// How many steps of one square (file and rank offsets -1, 0 or 1) fit between (file, rank) and
// the edge of the board.
constexpr int stepsToEdge(int file, int rank, int stepFile, int stepRank) {
    int n = stepFile > 0 ? 8 - file : stepFile < 0 ? file - 1 : 7;
    const int m = stepRank > 0 ? 8 - rank : stepRank < 0 ? rank - 1 : 7;
    return m < n ? m : n;
}

// Fills the derived slot tables of GameTables from the six slot orders; call after changing an
// order.
void refreshSlotTables(GameTables& g);

// Signed promotion kind of pawn slot 7..18 for the side to move.
int promotionKindForSlot(const GameTables& g, int slot);

// The move that slot `slot` of the piece `index` (standing on from) names. The to-square may
// lie off the board; evaluateSlot refuses it then.
DecodedSlot decodeSlot(const GameTables& g, int index, int fromFile, int fromRank, int slot);

// Board conditions of the move for the side to move: target on the board and not an own
// piece, the pawn rules, the castling right and empty squares between king and rook.
SlotOutcome evaluateSlot(const GameTables& g, const DecodedSlot& m, int fromFile, int fromRank);

}  // namespace qm

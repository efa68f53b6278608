#include "board/make_move.h"

#include <cstdio>
#include <cstdlib>

#include "board/full_key.h"
#include "board/geometry.h"
#include "board/king_safety.h"
#include "board/slots.h"
#include "board/state_init.h"

namespace qm {

namespace {

void writeMoveColumns(BoardState& e, int p, int index, int slot, int fromFile, int fromRank,
                      int toFile, int toRank) {
    auto& row = e.plyRecord[p];
    row[kRecMover] = index;
    row[kRecSlot] = slot;
    row[kRecFromFile] = fromFile;
    row[kRecFromRank] = fromRank;
    row[kRecToFile] = toFile;
    row[kRecToRank] = toRank;
}

// Removes captured piece x (standing on file, rank) from the material counts.
void uncountCaptured(BoardState& e, int x, int file, int rank) {
    int kind = e.pieceKind[x];
    if (absOf(kind) == kBishop)
        e.materialCount[kind][bishopColumn(file, rank)] -= 1;
    else
        e.materialCount[kind][1] -= 1;
}

// A rook captured on its own corner takes its owner's castling right on that side with it.
void captureCornerRook(BoardState& e, int p, int x, int file, int rank) {
    int kind = e.pieceKind[x];
    if (absOf(kind) != kRook) return;
    int owner = signOf(kind);
    if (rank != (owner > 0 ? 1 : 8) || (file != 1 && file != 8)) return;
    int king = e.pieceIndexOf[13] * owner;
    int before = e.pieceKind[king];
    int after = withoutCastlingRight(before, file == 1);
    if (after != before) {
        e.plyRecord[p][kRecOtherKingKind] = before;
        e.pieceKind[king] = after;
    }
}

// After a rook move: the a-side rook takes the queenside right, the h-side rook the kingside
// right. The test is on the rook's identity.
void rookMoved(BoardState& e, int p, int index) {
    const int s = signOf(index);
    int king = e.pieceIndexOf[13] * s;
    int before = e.pieceKind[king];
    int after = before;
    if (index == e.pieceIndexOf[9] * s) after = withoutCastlingRight(before, true);
    if (index == e.pieceIndexOf[16] * s) after = withoutCastlingRight(before, false);
    if (after != before) {
        e.plyRecord[p][kRecOwnKingKind] = before;
        e.pieceKind[king] = after;
    }
}

// Whether the king of the side to move stands in check before the move at ply p, worked out
// once per ply and position.
[[gnu::always_inline]] inline int checkBeforeMove(BoardState& e, int p) {
    int& known = e.checkBeforePly[p];
    if (known == kCheckFollowsMove || known == 0) e.pinsKnownPly[p] = 0;
    if (known == kCheckFollowsMove) known = checkGivenByMove(e, p - 1);
    if (known == 0) known = kingStandsInCheck(e);
#if QUILLOMAR_TABLE_CHECKS
    if (known != kingStandsInCheck(e)) {
        std::fprintf(stderr, "stale check state at ply %d\n", p);
        std::abort();
    }
#endif
    return known;
}

// Safety of a move of a piece other than the king, not an en-passant capture, from the position
// of ply p with the king not in check: only a line opened through the from-square can expose
// the king, and only when the piece is pinned and leaves its line.
[[gnu::always_inline]] inline int openedLineSafety(BoardState& e, int p, int fromFile, int fromRank,
                                                   int toFile, int toRank) {
    const int s = e.sideToMove;
    const int kFile = e.kingPos[s][1];
    const int kRank = e.kingPos[s][2];
    const int df = fromFile - kFile;
    const int dr = fromRank - kRank;
    if (df != 0 && dr != 0 && absOf(df) != absOf(dr)) return kKingSafe;
    if (e.pinsKnownPly[p] == 0) {
        e.pinsBeforePly[p] = pinnedPieces(e);
        e.pinsKnownPly[p] = 1;
    }
    if ((e.pinsBeforePly[p] & squareSet(fromFile, fromRank)) == 0) return kKingSafe;
    const int d = kDirectionOf[signOf(df) + 1][signOf(dr) + 1];
    return (kGeometry.ray[squareBit(kFile, kRank)][d] & squareSet(toFile, toRank)) != 0
               ? kKingSafe
               : kKingAttacked;
}

}  // namespace

void expireEnPassant(BoardState& e, int p) {
    if (e.epInfo[1] == 0) return;
    int pawn = e.board[e.epInfo[1]][e.epInfo[2]];
    if (pawn != 0) e.pieceKind[pawn] = (2 * e.plyRecord[p][kRecDoubleStep] - 1) * e.sideToMove;
    for (int k = 1; k <= 4; ++k) e.epInfo[k] = 0;
}

void makePlainMove(BoardState& e, int p, int index, int slot, int fromFile, int fromRank,
                   int toFile, int toRank) {
    expireEnPassant(e, p);
    writeMoveColumns(e, p, index, slot, fromFile, fromRank, toFile, toRank);
    int x = e.board[toFile][toRank];
    if (x != 0) {
        e.plyRecord[p][kRecCaptured] = x;
        uncountCaptured(e, x, toFile, toRank);
        captureCornerRook(e, p, x, toFile, toRank);
        e.piecePos[x][1] = 0;
        e.piecePos[x][2] = 0;
    }
    e.piecePos[index][1] = toFile;
    e.piecePos[index][2] = toRank;
    e.board[toFile][toRank] = index;
    e.board[fromFile][fromRank] = 0;
    const SquareSet moved = squareSet(fromFile, fromRank) | squareSet(toFile, toRank);
    e.occupied[e.sideToMove] ^= moved;
    e.kindSquares[e.sideToMove][kindClass(e.pieceKind[index])] ^= moved;
    if (x != 0) {
        e.occupied[-e.sideToMove] ^= squareSet(toFile, toRank);
        e.kindSquares[-e.sideToMove][kindClass(e.pieceKind[x])] ^= squareSet(toFile, toRank);
    }
}

void makePawnCapture(BoardState& e, int p, int index, int slot, int fromFile, int fromRank,
                     int toFile, int toRank) {
    makePlainMove(e, p, index, slot, fromFile, fromRank, toFile, toRank);
}

void makeEnPassant(BoardState& e, int p, int index, int slot, int fromFile, int fromRank,
                   int toFile, int toRank) {
    expireEnPassant(e, p);
    writeMoveColumns(e, p, index, slot, fromFile, fromRank, toFile, toRank);
    const int s = e.sideToMove;
    int x = e.board[toFile][fromRank];
    e.plyRecord[p][kRecCaptured] = x;
    e.materialCount[-s][1] -= 1;
    e.plyRecord[p][kRecEnPassant] = 1;
    e.piecePos[index][1] = toFile;
    e.piecePos[index][2] = toRank;
    e.piecePos[x][1] = 0;
    e.piecePos[x][2] = 0;
    e.board[toFile][toRank] = index;
    e.board[fromFile][fromRank] = 0;
    e.board[toFile][fromRank] = 0;
    e.occupied[s] ^= squareSet(fromFile, fromRank) | squareSet(toFile, toRank);
    e.occupied[-s] ^= squareSet(toFile, fromRank);
    e.kindSquares[s][kPawn] ^= squareSet(fromFile, fromRank) | squareSet(toFile, toRank);
    e.kindSquares[-s][kPawn] ^= squareSet(toFile, fromRank);
}

void makeDoubleStep(BoardState& e, int p, int index, int slot, int fromFile, int fromRank,
                    int toFile, int toRank) {
    expireEnPassant(e, p);
    writeMoveColumns(e, p, index, slot, fromFile, fromRank, toFile, toRank);
    const int s = e.sideToMove;
    e.epInfo[3] = index;
    e.epInfo[4] = e.pieceKind[index];
    e.plyRecord[p][kRecDoubleStep] = 1;
    e.piecePos[index][1] = toFile;
    e.piecePos[index][2] = toRank;
    e.board[toFile][toRank] = index;
    e.board[fromFile][fromRank] = 0;
    e.occupied[s] ^= squareSet(fromFile, fromRank) | squareSet(toFile, toRank);
    e.kindSquares[s][kPawn] ^= squareSet(fromFile, fromRank) | squareSet(toFile, toRank);
    e.pieceKind[index] = kPawnDoubleStep * s;
    e.epInfo[1] = toFile;
    e.epInfo[2] = toRank;
}

void makePromotion(BoardState& e, int p, int index, int slot, int fromFile, int fromRank,
                   int toFile, int toRank) {
    const int s = e.sideToMove;
    const int newKind = promotionKindForSlot(e, slot);
    int x = e.board[toFile][toRank];
    if (x != 0) {
        e.plyRecord[p][kRecCaptured] = x;
        uncountCaptured(e, x, toFile, toRank);
        captureCornerRook(e, p, x, toFile, toRank);
    }
    writeMoveColumns(e, p, index, slot, fromFile, fromRank, toFile, toRank);
    e.plyRecord[p][kRecPromotion] = newKind;
    e.materialCount[s][1] -= 1;
    e.pieceKind[index] = newKind;
    if (absOf(newKind) == kBishop)
        e.materialCount[newKind][bishopColumn(toFile, toRank)] += 1;
    else
        e.materialCount[newKind][1] += 1;
    e.piecePos[index][1] = toFile;
    e.piecePos[index][2] = toRank;
    e.board[toFile][toRank] = index;
    e.board[fromFile][fromRank] = 0;
    e.occupied[s] ^= squareSet(fromFile, fromRank) | squareSet(toFile, toRank);
    e.kindSquares[s][kPawn] ^= squareSet(fromFile, fromRank);
    e.kindSquares[s][kindClass(newKind)] ^= squareSet(toFile, toRank);
    if (x != 0) {
        e.occupied[-s] ^= squareSet(toFile, toRank);
        e.kindSquares[-s][kindClass(e.pieceKind[x])] ^= squareSet(toFile, toRank);
    }
    switch (absOf(newKind)) {
        case kQueen:
            e.pieceSlots[index] = kQueenSlots;
            break;
        case kRook:
            e.pieceSlots[index] = kRookSlots;
            break;
        case kBishop:
            e.pieceSlots[index] = kBishopSlots;
            break;
        default:
            e.pieceSlots[index] = kKnightSlots;
            break;
    }
    expireEnPassant(e, p);
    if (x != 0) {
        e.piecePos[x][1] = 0;
        e.piecePos[x][2] = 0;
    }
}

void makeCastling(BoardState& e, int p, int index, int slot, int kingToFile) {
    expireEnPassant(e, p);
    const int s = e.sideToMove;
    const int r = s > 0 ? 1 : 8;
    const int fromFile = e.piecePos[index][1];
    const bool kingside = kingToFile == 7;
    auto& row = e.plyRecord[p];
    row[kRecMover] = index;
    row[kRecSlot] = slot;
    row[kRecFromFile] = fromFile;
    row[kRecFromRank] = r;
    row[kRecToFile] = kingToFile;
    row[kRecToRank] = r;
    row[kRecCastling] = kingside ? 1 : 2;
    const int rookFrom = kingside ? 8 : 1;
    const int rookTo = kingside ? 6 : 4;
    const int rook = e.board[rookFrom][r];
    e.board[fromFile][r] = 0;
    e.board[rookFrom][r] = 0;
    e.board[kingToFile][r] = index;
    e.board[rookTo][r] = rook;
    e.occupied[s] ^= squareSet(fromFile, r) | squareSet(kingToFile, r) | squareSet(rookFrom, r) |
                     squareSet(rookTo, r);
    e.kindSquares[s][6] ^= squareSet(fromFile, r) | squareSet(kingToFile, r);
    e.kindSquares[s][kRook] ^= squareSet(rookFrom, r) | squareSet(rookTo, r);
    e.piecePos[index][1] = kingToFile;
    e.piecePos[rook][1] = rookTo;
    e.kingPos[s][1] = kingToFile;
}

namespace {

// Makes the decoded move of piece `index` from (fromFile, fromRank) if it leaves the king safe.
[[gnu::always_inline]] inline void makeDecodedMove(BoardState& e, int& result, int p, int index,
                                                   int slot, int fromFile, int fromRank,
                                                   const DecodedSlot& m) {
    result = 0;
    const int s = e.sideToMove;
    const int kindBefore = e.pieceKind[index];
    int safety = kKingSafe;
    // The square of a pawn that has just advanced two squares, for the position key.
    int epFile = e.epInfo[1], epRank = e.epInfo[2];
    if (epFile != 0 && absOf(e.pieceKind[e.board[epFile][epRank]]) != kPawnDoubleStep) epFile = 0;
    // A path of moves starts at ply 1, from the board as it stands.
    const bool keyed = p <= e.keyedPlies;
    const std::uint64_t keyBefore = !keyed ? 0 : p == 1 ? fullKeyOf(e, s) : e.fullKey[p - 1];
    if (m.type == SlotMove::kCastleKingside || m.type == SlotMove::kCastleQueenside) {
        const bool kingside = m.type == SlotMove::kCastleKingside;
        const int r = fromRank;
        safety = checkBeforeMove(e, p);
        if (safety == kKingSafe) {
            e.kingPos[s][1] = kingside ? 6 : 4;
            testKingSafety(e, safety, index, fromFile, r, kingside ? 6 : 4, r);
        }
        if (safety == kKingSafe) {
            e.kingPos[s][1] = kingside ? 7 : 3;
            testKingSafety(e, safety, index, fromFile, r, kingside ? 7 : 3, r);
        }
        e.kingPos[s][1] = fromFile;
        if (safety != kKingSafe) return;
        makeCastling(e, p, index, slot, kingside ? 7 : 3);
    } else {
        // Only a king move, an en-passant capture or a move out of check needs the whole
        // attack scan; any other move can expose the king only along the line it opens.
        if (absOf(kindBefore) <= 5 && m.type != SlotMove::kPawnEnPassant &&
            checkBeforeMove(e, p) == kKingSafe) {
            safety = openedLineSafety(e, p, fromFile, fromRank, m.toFile, m.toRank);
#if QUILLOMAR_TABLE_CHECKS
            int scanned;
            testKingSafety(e, scanned, index, fromFile, fromRank, m.toFile, m.toRank);
            if (scanned != safety) {
                std::fprintf(stderr, "line safety differs from the attack scan at ply %d\n", p);
                std::abort();
            }
#endif
        } else {
            testKingSafety(e, safety, index, fromFile, fromRank, m.toFile, m.toRank);
        }
        if (safety != kKingSafe) return;
        switch (m.type) {
            case SlotMove::kPawnDouble:
                makeDoubleStep(e, p, index, slot, fromFile, fromRank, m.toFile, m.toRank);
                break;
            case SlotMove::kPawnCapture:
                makePawnCapture(e, p, index, slot, fromFile, fromRank, m.toFile, m.toRank);
                break;
            case SlotMove::kPawnEnPassant:
                makeEnPassant(e, p, index, slot, fromFile, fromRank, m.toFile, m.toRank);
                break;
            case SlotMove::kPromotionPush:
            case SlotMove::kPromotionCapture:
                makePromotion(e, p, index, slot, fromFile, fromRank, m.toFile, m.toRank);
                break;
            default:
                makePlainMove(e, p, index, slot, fromFile, fromRank, m.toFile, m.toRank);
                break;
        }
        if (absOf(kindBefore) > 5) e.kingPos[s][1] = m.toFile, e.kingPos[s][2] = m.toRank;
    }

    if (absOf(kindBefore) > 5 && absOf(kindBefore) < 10) {
        e.plyRecord[p][kRecOwnKingKind] = kindBefore;
        e.pieceKind[index] = kKingNone * s;
    } else if (absOf(kindBefore) == kRook) {
        rookMoved(e, p, index);
    }
    result = 1;
    e.plyRecord[p][kRecKindAfter] = e.pieceKind[index];
    if (keyed) updateFullKey(e, p, keyBefore, kindBefore, epFile, epRank);
#if QUILLOMAR_TABLE_CHECKS
    if (!occupancyAgrees(e)) {
        std::fprintf(stderr, "occupied squares differ from the board after a move at ply %d\n", p);
        std::abort();
    }
#endif
    if (p < kMaxDepth + 1) e.checkBeforePly[p + 1] = kCheckFollowsMove;
}

}  // namespace

void makeListedMove(BoardState& e, int& result, int p, int piece, int slot) {
    result = 0;
    const int index = piece * e.sideToMove;
    const int fromFile = e.piecePos[index][1];
    const int fromRank = e.piecePos[index][2];
    if (fromFile == 0) return;

    const DecodedSlot m = decodeSlot(e, index, fromFile, fromRank, slot);
    if (evaluateSlot(e, m, fromFile, fromRank) == SlotOutcome::kRefused) return;
    makeDecodedMove(e, result, p, index, slot, fromFile, fromRank, m);
}

void makeCandidate(BoardState& e, int& result, int p, const CandidateRow& row) {
    // The row was listed in this very position: its squares are the slot's move, and the
    // board conditions hold. What remains is the kind of move.
    const int index = row[kCandPiece] * e.sideToMove;
    const int slot = row[kCandSlot];
    const int fromFile = row[kCandFromFile];
    const int fromRank = row[kCandFromRank];
    DecodedSlot m{SlotMove::kStep, row[kCandToFile], row[kCandToRank], row[kCandPromotion], 0};
    const int kind = absOf(e.pieceKind[index]);
    if (m.toFile == 0) {
        const bool kingside = e.kingTypeAtSlot[slot] == 9;
        m.type = kingside ? SlotMove::kCastleKingside : SlotMove::kCastleQueenside;
        m.toFile = kingside ? 7 : 3;
        m.toRank = fromRank;
    } else if (kind == kPawn || kind == kPawnDoubleStep) {
        if (m.promotionKind != 0)
            m.type = m.toFile == fromFile ? SlotMove::kPromotionPush : SlotMove::kPromotionCapture;
        else if (m.toFile != fromFile)
            m.type = e.board[m.toFile][m.toRank] == 0 ? SlotMove::kPawnEnPassant
                                                      : SlotMove::kPawnCapture;
        else
            m.type =
                absOf(m.toRank - fromRank) == 2 ? SlotMove::kPawnDouble : SlotMove::kPawnSingle;
    }
    makeDecodedMove(e, result, p, index, slot, fromFile, fromRank, m);
}

}  // namespace qm

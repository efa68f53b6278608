#include "board/slots.h"

namespace qm {

int promotionKindForSlot(const GameTables& g, int slot) {
    int p = g.pawnSlotPosition[slot];  // pawnSlotOrder[p] == slot
    return (5 - (p - 7) % 4) * g.sideToMove;
}

DecodedSlot decodeSlot(const GameTables& g, int index, int fromFile, int fromRank, int slot) {
    const int s = g.sideToMove;
    const int kind = absOf(g.pieceKind[index]);
    DecodedSlot m{SlotMove::kStep, 0, 0, 0, 0};
    if (kind > 5) {
        int type = g.kingTypeAtSlot[slot];
        if (type <= 8) {
            m.toFile = fromFile + kDirFile[type] * s;
            m.toRank = fromRank + kDirRank[type] * s;
        } else {
            m.type = type == 9 ? SlotMove::kCastleKingside : SlotMove::kCastleQueenside;
            m.toFile = type == 9 ? 7 : 3;
            m.toRank = s > 0 ? 1 : 8;
        }
        return m;
    }
    switch (kind) {
        case kKnight: {
            int jump = g.knightJumpAtSlot[slot];
            m.toFile = fromFile + kJumpFile[jump] * s;
            m.toRank = fromRank + kJumpRank[jump] * s;
            return m;
        }
        case kBishop:
        case kRook:
        case kQueen: {
            int group = (slot - 1) / 7 + 1;
            int distance = slot - 7 * (group - 1);
            int dir = kind == kRook     ? g.rookDirOrder[group]
                      : kind == kBishop ? 4 + g.bishopDirOrder[group]
                                        : g.queenDirOrder[group];
            m.type = SlotMove::kRay;
            m.group = group;
            m.toFile = fromFile + kDirFile[dir] * distance * s;
            m.toRank = fromRank + kDirRank[dir] * distance * s;
            return m;
        }
        default:
            break;
    }
    // Pawn (kind 1 or 10).
    m.toRank = fromRank + s;
    if (slot < 7) {
        switch (g.pawnSlotPosition[slot]) {
            case 1:
                m.type = SlotMove::kPawnSingle;
                m.toFile = fromFile;
                break;
            case 2:
                m.type = SlotMove::kPawnDouble;
                m.toFile = fromFile;
                m.toRank = fromRank + 2 * s;
                break;
            case 3:
                m.type = SlotMove::kPawnCapture;
                m.toFile = fromFile - s;
                break;
            case 4:
                m.type = SlotMove::kPawnCapture;
                m.toFile = fromFile + s;
                break;
            case 5:
                m.type = SlotMove::kPawnEnPassant;
                m.toFile = fromFile - s;
                break;
            default:
                m.type = SlotMove::kPawnEnPassant;
                m.toFile = fromFile + s;
                break;
        }
        return m;
    }
    int group = g.pawnSlotOrder[slot];
    m.promotionKind = promotionKindForSlot(g, slot);
    if (group <= 10) {
        m.type = SlotMove::kPromotionPush;
        m.toFile = fromFile;
    } else {
        m.type = SlotMove::kPromotionCapture;
        m.toFile = group <= 14 ? fromFile - s : fromFile + s;
    }
    return m;
}

SlotOutcome evaluateSlot(const GameTables& g, const DecodedSlot& m, int fromFile, int fromRank) {
    const int s = g.sideToMove;
    const int lastRank = s > 0 ? 8 : 1;
    auto enemyOn = [&](int f, int r) { return g.board[f][r] * s < 0; };
    switch (m.type) {
        case SlotMove::kStep:
        case SlotMove::kRay: {
            if (!onBoard(m.toFile, m.toRank)) return SlotOutcome::kRefused;
            int target = g.board[m.toFile][m.toRank];
            if (target * s > 0) return SlotOutcome::kRefused;
            return target != 0 ? SlotOutcome::kCapture : SlotOutcome::kQuiet;
        }
        case SlotMove::kCastleKingside: {
            int r = s > 0 ? 1 : 8;
            int king = absOf(g.pieceKind[g.board[fromFile][fromRank]]);
            bool ok = (king == kKingBoth || king == kKingKingside) && g.board[6][r] == 0 &&
                      g.board[7][r] == 0;
            return ok ? SlotOutcome::kQuiet : SlotOutcome::kRefused;
        }
        case SlotMove::kCastleQueenside: {
            int r = s > 0 ? 1 : 8;
            int king = absOf(g.pieceKind[g.board[fromFile][fromRank]]);
            bool ok = (king == kKingBoth || king == kKingQueenside) && g.board[2][r] == 0 &&
                      g.board[3][r] == 0 && g.board[4][r] == 0;
            return ok ? SlotOutcome::kQuiet : SlotOutcome::kRefused;
        }
        case SlotMove::kPawnSingle:
            if (m.toRank == 1 || m.toRank == 8 || !onBoard(m.toFile, m.toRank))
                return SlotOutcome::kRefused;
            return g.board[m.toFile][m.toRank] == 0 ? SlotOutcome::kQuiet : SlotOutcome::kRefused;
        case SlotMove::kPawnDouble: {
            int startRank = s > 0 ? 2 : 7;
            if (fromRank != startRank) return SlotOutcome::kRefused;
            bool clear = g.board[fromFile][fromRank + s] == 0 && g.board[m.toFile][m.toRank] == 0;
            return clear ? SlotOutcome::kQuiet : SlotOutcome::kRefused;
        }
        case SlotMove::kPawnCapture:
            if (m.toRank == 1 || m.toRank == 8 || !onBoard(m.toFile, m.toRank))
                return SlotOutcome::kRefused;
            return enemyOn(m.toFile, m.toRank) ? SlotOutcome::kCapture : SlotOutcome::kRefused;
        case SlotMove::kPawnEnPassant: {
            int epRank = s > 0 ? 5 : 4;
            if (fromRank != epRank || m.toFile < 1 || m.toFile > 8) return SlotOutcome::kRefused;
            int beside = g.board[m.toFile][fromRank];
            bool ok = beside != 0 && g.pieceKind[beside] == -kPawnDoubleStep * s;
            return ok ? SlotOutcome::kCapture : SlotOutcome::kRefused;
        }
        case SlotMove::kPromotionPush:
            if (m.toRank != lastRank || !onBoard(m.toFile, m.toRank)) return SlotOutcome::kRefused;
            return g.board[m.toFile][m.toRank] == 0 ? SlotOutcome::kQuiet : SlotOutcome::kRefused;
        case SlotMove::kPromotionCapture:
            if (m.toRank != lastRank || !onBoard(m.toFile, m.toRank)) return SlotOutcome::kRefused;
            return enemyOn(m.toFile, m.toRank) ? SlotOutcome::kCapture : SlotOutcome::kRefused;
    }
    return SlotOutcome::kRefused;
}

}  // namespace qm

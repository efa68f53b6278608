#include "board/slots.h"

#include "board/geometry.h"

namespace qm {

int promotionKindForSlot(const GameTables& g, int slot) {
    int p = g.pawnSlotPosition[slot];  // pawnSlotOrder[p] == slot
    return (5 - (p - 7) % 4) * g.sideToMove;
}

void refreshSlotTables(GameTables& g) {
    for (int p = 1; p <= 18; ++p) g.pawnSlotPosition[g.pawnSlotOrder[p]] = p;
    for (int k = 1; k <= 10; ++k) g.kingTypeAtSlot[g.kingSlotOrder[k]] = k;
    for (int k = 1; k <= 8; ++k) g.knightJumpAtSlot[g.knightJumpOrder[k]] = k;
    for (int s = -1; s <= 1; s += 2) {
        for (int slot = 1; slot <= 8; ++slot) {
            const int jump = g.knightJumpAtSlot[slot];
            g.knightSlotStep[s][slot] = Step{kJumpFile[jump] * s, kJumpRank[jump] * s};
        }
        for (int slot = 1; slot <= 10; ++slot) {
            const int type = g.kingTypeAtSlot[slot];
            g.kingSlotStep[s][slot] =
                type <= 8 ? Step{kDirFile[type] * s, kDirRank[type] * s} : Step{};
        }
        for (int group = 1; group <= 8; ++group) {
            const int queenDir = g.queenDirOrder[group];
            g.rayGroupStep[s][kQueen][group] = Step{kDirFile[queenDir] * s, kDirRank[queenDir] * s};
            if (group > 4) {
                g.rayGroupStep[s][kRook][group] = g.rayGroupStep[s][kBishop][group] = Step{};
                continue;
            }
            const int rookDir = g.rookDirOrder[group];
            const int bishopDir = 4 + g.bishopDirOrder[group];
            g.rayGroupStep[s][kRook][group] = Step{kDirFile[rookDir] * s, kDirRank[rookDir] * s};
            g.rayGroupStep[s][kBishop][group] =
                Step{kDirFile[bishopDir] * s, kDirRank[bishopDir] * s};
        }
        for (int kind = kBishop; kind <= kQueen; ++kind)
            for (int group = 1; group <= 8; ++group) {
                const Step step = g.rayGroupStep[s][kind][group];
                g.rayGroupDirection[s][kind][group] = kDirectionOf[step.file + 1][step.rank + 1];
            }
    }
}

DecodedSlot decodeSlot(const GameTables& g, int index, int fromFile, int fromRank, int slot) {
    const int s = g.sideToMove;
    const int kind = absOf(g.pieceKind[index]);
    DecodedSlot m{SlotMove::kStep, 0, 0, 0, 0};
    if (kind > 5 && kind != kPawnDoubleStep) {
        const int type = g.kingTypeAtSlot[slot];
        if (type <= 8) {
            const Step step = g.kingSlotStep[s][slot];
            m.toFile = fromFile + step.file;
            m.toRank = fromRank + step.rank;
        } else {
            m.type = type == 9 ? SlotMove::kCastleKingside : SlotMove::kCastleQueenside;
            m.toFile = type == 9 ? 7 : 3;
            m.toRank = s > 0 ? 1 : 8;
        }
        return m;
    }
    switch (kind) {
        case kKnight: {
            const Step step = g.knightSlotStep[s][slot];
            m.toFile = fromFile + step.file;
            m.toRank = fromRank + step.rank;
            return m;
        }
        case kBishop:
        case kRook:
        case kQueen: {
            const int group = (slot - 1) / 7 + 1;
            const int distance = slot - 7 * (group - 1);
            const Step step = g.rayGroupStep[s][kind][group];
            m.type = SlotMove::kRay;
            m.group = group;
            m.toFile = fromFile + step.file * distance;
            m.toRank = fromRank + step.rank * distance;
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

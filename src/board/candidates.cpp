#include "board/candidates.h"

#include "board/slots.h"

namespace qm {

namespace {

// Ordering key by mover and absolute kind on the target: columns queen, rook, bishop,
// knight, pawn, empty.
constexpr int kCaptureKey[7][6] = {
    {1, 1, 1, 1, 1, 1},    // (unused)
    {16, 11, 8, 8, 5, 1},  // pawn
    {15, 10, 7, 7, 4, 1},  // knight
    {15, 10, 7, 7, 4, 1},  // bishop
    {14, 8, 5, 5, 3, 1},   // rook
    {11, 5, 3, 3, 2, 1},   // queen
    {17, 12, 9, 9, 6, 1},  // king
};

// Capturing promotion key by captured kind (queen, rook, bishop, knight) and promotion kind.
constexpr int kPromotionCaptureKey[4][4] = {
    {20, 19, 18, 18},
    {16, 14, 13, 13},
    {14, 11, 10, 10},
    {14, 11, 10, 10},
};

// Column of the key tables for an absolute target kind; -1 for a king (illegal set-ups only).
int targetColumn(int targetKind) {
    switch (targetKind) {
        case kQueen:
            return 0;
        case kRook:
            return 1;
        case kBishop:
            return 2;
        case kKnight:
            return 3;
        case kPawn:
        case kPawnDoubleStep:
            return 4;
        case 0:
            return 5;
        default:
            return -1;
    }
}

int pushPromotionKey(int promotionKind) {
    switch (promotionKind) {
        case kQueen:
            return 10;
        case kRook:
            return 7;
        default:
            return 5;
    }
}

}  // namespace

void generateCandidates(BoardState& e, int ply) {
    e.moveCount[ply] = 0;
    const int s = e.sideToMove;
    for (int i = 1; i <= 16; ++i) {
        const int n = e.pieceSlots[s * i];
        for (int j = 1; j <= n; ++j) {
            int result;
            generateSlot(e, result, ply, i, j);
        }
    }
    flattenCandidates(e, ply);
    for (int b = 1; b <= kBuckets; ++b) e.bucketCount[b] = 0;
}

void generateSlot(BoardState& e, int& result, int ply, int piece, int& slot) {
    result = kSlotNoCandidate;
    const int s = e.sideToMove;
    const int index = s * piece;
    const int fromFile = e.piecePos[index][1];
    const int fromRank = e.piecePos[index][2];
    if (fromFile == 0) {
        slot = e.pieceSlots[index];
        return;
    }
    const int kind = absOf(e.pieceKind[index]);
    const bool beyondDepth = ply > e.iterationDepth;

    if (kind == kPawn || kind == kPawnDoubleStep) {
        const bool onSeventh = fromRank == (s > 0 ? 7 : 2);
        if (slot < 7 && onSeventh) slot = 7;
        if (slot >= 7 && !onSeventh) {
            slot = 18;
            return;
        }
    }

    DecodedSlot m = decodeSlot(e, index, fromFile, fromRank, slot);
    if (beyondDepth && (m.type == SlotMove::kPawnSingle || m.type == SlotMove::kPawnDouble)) return;
    SlotOutcome outcome = evaluateSlot(e, m, fromFile, fromRank);

    if (m.type == SlotMove::kRay) {
        if (outcome == SlotOutcome::kRefused) {
            slot = 7 * m.group;
            return;
        }
        if (outcome == SlotOutcome::kQuiet && beyondDepth) {
            result = kSlotQuietBeyondDepth;
            return;
        }
        result = kSlotCandidate;
    } else {
        if (outcome == SlotOutcome::kRefused) return;
        if (outcome == SlotOutcome::kQuiet && beyondDepth && m.type == SlotMove::kStep) return;
        result = kSlotCandidate;
    }

    // Ordering key and the record's description columns.
    int targetKind = 0;
    if (m.type == SlotMove::kPawnEnPassant) {
        targetKind = kPawnDoubleStep;
    } else if (m.type != SlotMove::kCastleKingside && m.type != SlotMove::kCastleQueenside) {
        int target = e.board[m.toFile][m.toRank];
        targetKind = target != 0 ? absOf(e.pieceKind[target]) : 0;
    }
    int key = 1;
    int column = targetColumn(targetKind);
    switch (m.type) {
        case SlotMove::kCastleKingside:
        case SlotMove::kCastleQueenside:
            key = 1;
            break;
        case SlotMove::kPromotionPush:
            key = pushPromotionKey(absOf(m.promotionKind));
            break;
        case SlotMove::kPromotionCapture:
            key = column >= 0 && column < 4
                      ? kPromotionCaptureKey[column][5 - absOf(m.promotionKind)]
                      : 1;
            break;
        default:
            key = column >= 0
                      ? kCaptureKey[kind > 5 ? 6 : (kind == kPawnDoubleStep ? 1 : kind)][column]
                      : 1;
            break;
    }
    e.captureKey = key;
    e.capturedKindOfCandidate = targetKind;
    e.promotionKindOfCandidate = m.promotionKind;
    e.moveCount[ply] += 1;
    const bool castle = m.type == SlotMove::kCastleKingside || m.type == SlotMove::kCastleQueenside;
    addCandidate(e, fromFile, fromRank, castle ? 0 : m.toFile, castle ? 0 : m.toRank, piece, slot);

    // A capture ends its ray: the next slot is the first of the next group.
    if (m.type == SlotMove::kRay && outcome == SlotOutcome::kCapture) slot = 7 * m.group;
}

void addCandidate(BoardState& e, int fromFile, int fromRank, int toFile, int toRank, int piece,
                  int slot) {
    const int b = kBuckets + 1 - e.captureKey;
    if (e.bucketCount[b] >= kListRows) return;  // cannot happen with 16 pieces a side
    e.bucketCount[b] += 1;
    CandidateRow& row = e.candidateBuckets[b][e.bucketCount[b]];
    row[kCandFromFile] = fromFile;
    row[kCandFromRank] = fromRank;
    row[kCandToFile] = toFile;
    row[kCandToRank] = toRank;
    row[kCandTargetKind] = e.capturedKindOfCandidate;
    row[kCandPromotion] = e.promotionKindOfCandidate;
    row[kCandPiece] = piece;
    row[kCandSlot] = slot;
}

void flattenCandidates(BoardState& e, int ply) {
    int n = 0;
    for (int b = 1; b <= kBuckets; ++b) {
        for (int k = 1; k <= e.bucketCount[b]; ++k) {
            if (n >= kListRows) break;
            n += 1;
            e.moveList[ply][n] = e.candidateBuckets[b][k];
        }
    }
    e.moveCount[ply] = n;
}

}  // namespace qm

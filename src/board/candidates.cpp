#include "board/candidates.h"

#include <bit>

#include "board/geometry.h"
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
constexpr int targetColumn(int targetKind) {
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

// Key of a move (not a promotion, not castling) by the absolute kinds of mover and target,
// 1 when the target is a king.
constexpr int moveKey(int moverKind, int targetKind) {
    const int column = targetColumn(targetKind);
    if (column < 0) return 1;
    const int row = moverKind > 5 && moverKind != kPawnDoubleStep ? 6
                    : moverKind == kPawnDoubleStep                ? 1
                                                                  : moverKind;
    return kCaptureKey[row][column];
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

int capturePromotionKey(int targetKind, int promotionKind) {
    const int column = targetColumn(targetKind);
    return column >= 0 && column < 4 ? kPromotionCaptureKey[column][5 - promotionKind] : 1;
}

// The record of a candidate.
inline void writeRow(CandidateRow& row, int targetKind, int promotion, int fromFile, int fromRank,
                     int toFile, int toRank, int piece, int slot) {
    row[kCandFromFile] = fromFile;
    row[kCandFromRank] = fromRank;
    row[kCandToFile] = toFile;
    row[kCandToRank] = toRank;
    row[kCandTargetKind] = targetKind;
    row[kCandPromotion] = promotion;
    row[kCandPiece] = piece;
    row[kCandSlot] = slot;
}

// Appends a candidate to the bucket of its key (the record as addCandidate writes it).
inline void emit(BoardState& e, int key, int targetKind, int promotion, int fromFile, int fromRank,
                 int toFile, int toRank, int piece, int slot) {
    const int b = kBuckets + 1 - key;
    if (e.bucketCount[b] >= kListRows) return;  // cannot happen with 16 pieces a side
    e.bucketsInUse |= 1u << b;
    writeRow(e.candidateBuckets[b][++e.bucketCount[b]], targetKind, promotion, fromFile, fromRank,
             toFile, toRank, piece, slot);
}

inline int absKindOn(const BoardState& e, int file, int rank) {
    const int index = e.board[file][rank];
    return index != 0 ? absOf(e.pieceKind[index]) : 0;
}

// Which candidates a pass over the pieces lists: all of them, those of a capture key above 1
// (captures and promotions), or those of key 1 (quiet moves, pawn steps, castling).
enum class Listing { kAll, kKeyAboveOne, kKeyOne };

// Key of a move (not a promotion, not castling) by the absolute kinds of mover and target, as
// a table.
struct MoveKeys {
    int key[11][11] = {};
};
constexpr MoveKeys makeMoveKeys() {
    MoveKeys t;
    for (int mover = 0; mover <= 10; ++mover)
        for (int target = 0; target <= 10; ++target) t.key[mover][target] = moveKey(mover, target);
    return t;
}
inline constexpr MoveKeys kMoveKeys = makeMoveKeys();

inline int listedKey(int moverKind, int targetKind) {
    return kMoveKeys.key[moverKind][targetKind];
}

template <Listing L>
inline void list(BoardState& e, int key, int targetKind, int promotion, int fromFile, int fromRank,
                 int toFile, int toRank, int piece, int slot) {
    if constexpr (L == Listing::kKeyAboveOne) {
        if (key == 1) return;
    } else if constexpr (L == Listing::kKeyOne) {
        if (key != 1) return;
    }
    if constexpr (L != Listing::kKeyOne) {
        if (targetKind != 0 && promotion == 0) {
            // En passant takes the pawn beside the from-square.
            const int rank = e.board[toFile][toRank] == 0 ? fromRank : toRank;
            if (((e.captureTargets >> squareBit(toFile, rank)) & 1) == 0) return;
        }
    }
    // Straight onto the end of the list; listAllPieces then puts it in key order.
    const int ply = L == Listing::kKeyOne ? e.quietListPly : e.listingPly;
    if (e.moveCount[ply] >= kListRows) return;
    const int n = ++e.moveCount[ply];
    writeRow(e.moveList[ply][n], targetKind, promotion, fromFile, fromRank, toFile, toRank, piece,
             slot);
    if constexpr (L != Listing::kKeyOne) e.listKeys[n] = key;
}

struct Occupancy {
    SquareSet all = 0;
    SquareSet enemy = 0;  // pieces of the side not to move
};

// The slots of one piece, in slot order, for the side s to move. quietToo is false beyond
// iterationDepth, where only captures, promotions and castling are listed.

template <Listing L>
void listSteps(BoardState& e, const Table<Step, 1, 8>& steps, int count, int moverKind, int piece,
               int f, int r, int s, bool quietToo) {
    for (int slot = 1; slot <= count; ++slot) {
        const int tf = f + steps[slot].file;
        const int tr = r + steps[slot].rank;
        if (!onBoard(tf, tr)) continue;
        const int target = e.board[tf][tr];
        if (target * s > 0 || (target == 0 && !quietToo)) continue;
        const int targetKind = target != 0 ? absOf(e.pieceKind[target]) : 0;
        list<L>(e, listedKey(moverKind, targetKind), targetKind, 0, f, r, tf, tr, piece, slot);
    }
}

template <Listing L>
void listRays(BoardState& e, const Table<Step, 1, 8>& groups, int groupCount, int moverKind,
              int piece, int f, int r, int s) {
    for (int group = 1; group <= groupCount; ++group) {
        const Step step = groups[group];
        const int length = stepsToEdge(f, r, step.file, step.rank);
        int tf = f, tr = r, distance = 0, target = 0;
        while (distance < length) {
            ++distance;
            tf += step.file;
            tr += step.rank;
            target = e.board[tf][tr];
            if (target != 0) break;  // a blocker ends the ray
            list<L>(e, 1, 0, 0, f, r, tf, tr, piece, 7 * (group - 1) + distance);
        }
        if (target * s < 0) {
            const int targetKind = absOf(e.pieceKind[target]);
            list<L>(e, listedKey(moverKind, targetKind), targetKind, 0, f, r, tf, tr, piece,
                    7 * (group - 1) + distance);
        }
    }
}

// The captures of a bishop, rook or queen: in each group, the first piece along the ray, when
// it is the opponent's.
template <Listing L>
void listRayCaptures(BoardState& e, const Table<int, 1, 8>& directions, int groupCount,
                     int moverKind, int piece, int f, int r, const Occupancy& occ) {
    const int from = squareBit(f, r);
    const SquareSet lines = moverKind == kRook ? kGeometry.straightLines[from]
                            : moverKind == kBishop
                                ? kGeometry.diagonalLines[from]
                                : kGeometry.straightLines[from] | kGeometry.diagonalLines[from];
    if ((lines & occ.enemy) == 0) return;
    for (int group = 1; group <= groupCount; ++group) {
        const int d = directions[group];
        const SquareSet met = kGeometry.ray[from][d] & occ.all;
        if ((met & occ.enemy) == 0) continue;
        const int b = kRayUp[d] ? std::countr_zero(met) : 63 - std::countl_zero(met);
        if (((occ.enemy >> b) & 1) == 0) continue;
        const int tf = fileOfBit(b);
        const int tr = rankOfBit(b);
        const int distance = absOf(tf - f) > absOf(tr - r) ? absOf(tf - f) : absOf(tr - r);
        const int targetKind = absOf(e.pieceKind[e.board[tf][tr]]);
        list<L>(e, listedKey(moverKind, targetKind), targetKind, 0, f, r, tf, tr, piece,
                7 * (group - 1) + distance);
    }
}

template <Listing L>
void listKing(BoardState& e, int kingKind, int piece, int f, int r, int s, bool quietToo,
              bool stepsToo) {
    // Without steps to list, only castling is left, and only with a right to castle.
    if (!stepsToo && (L == Listing::kKeyAboveOne || kingKind == kKingNone)) return;
    const int back = s > 0 ? 1 : 8;
    const bool kingside = (kingKind == kKingBoth || kingKind == kKingKingside) &&
                          e.board[6][back] == 0 && e.board[7][back] == 0;
    const bool queenside = (kingKind == kKingBoth || kingKind == kKingQueenside) &&
                           e.board[2][back] == 0 && e.board[3][back] == 0 && e.board[4][back] == 0;
    if (!stepsToo) {
        // Just the two castling slots, in slot order.
        const int kingsideSlot = e.kingSlotOrder[9];
        const int queensideSlot = e.kingSlotOrder[10];
        if (kingside && kingsideSlot < queensideSlot)
            list<L>(e, 1, 0, 0, f, r, 0, 0, piece, kingsideSlot);
        if (queenside) list<L>(e, 1, 0, 0, f, r, 0, 0, piece, queensideSlot);
        if (kingside && kingsideSlot > queensideSlot)
            list<L>(e, 1, 0, 0, f, r, 0, 0, piece, kingsideSlot);
        return;
    }
    for (int slot = 1; slot <= kKingSlots; ++slot) {
        const int type = e.kingTypeAtSlot[slot];
        if (type == 9) {
            if (kingside) list<L>(e, 1, 0, 0, f, r, 0, 0, piece, slot);
            continue;
        }
        if (type == 10) {
            if (queenside) list<L>(e, 1, 0, 0, f, r, 0, 0, piece, slot);
            continue;
        }
        const Step step = e.kingSlotStep[s][slot];
        const int tf = f + step.file;
        const int tr = r + step.rank;
        if (!onBoard(tf, tr)) continue;
        const int target = e.board[tf][tr];
        if (target * s > 0 || (target == 0 && !quietToo)) continue;
        const int targetKind = target != 0 ? absOf(e.pieceKind[target]) : 0;
        list<L>(e, listedKey(kingKind, targetKind), targetKind, 0, f, r, tf, tr, piece, slot);
    }
}

template <Listing L>
void listPawn(BoardState& e, int pawnKind, int piece, int f, int r, int s, bool quietToo) {
    const int tr = r + s;
    if (r != (s > 0 ? 7 : 2)) {
        if (tr < 2 || tr > 7) return;  // no pawn stands on its first or last rank
        if (!quietToo) {
            // Only captures count here: most pawns have none.
            const bool left = f - s >= 1 && f - s <= 8 && e.board[f - s][tr] * s < 0;
            const bool right = f + s >= 1 && f + s <= 8 && e.board[f + s][tr] * s < 0;
            if (!left && !right && (e.epInfo[1] == 0 || r != (s > 0 ? 5 : 4))) return;
        }
        for (int slot = 1; slot <= 6; ++slot) {
            switch (e.pawnSlotPosition[slot]) {
                case 1:  // single step
                    if (quietToo && e.board[f][tr] == 0)
                        list<L>(e, 1, 0, 0, f, r, f, tr, piece, slot);
                    break;
                case 2:  // double step
                    if (quietToo && r == (s > 0 ? 2 : 7) && e.board[f][tr] == 0 &&
                        e.board[f][tr + s] == 0)
                        list<L>(e, 1, 0, 0, f, r, f, tr + s, piece, slot);
                    break;
                case 3:
                case 4: {  // captures towards file -s and +s
                    const int tf = e.pawnSlotPosition[slot] == 3 ? f - s : f + s;
                    if (tf < 1 || tf > 8 || e.board[tf][tr] * s >= 0) break;
                    const int targetKind = absKindOn(e, tf, tr);
                    list<L>(e, listedKey(pawnKind, targetKind), targetKind, 0, f, r, tf, tr, piece,
                            slot);
                    break;
                }
                default: {  // en passant towards file -s and +s
                    if (e.epInfo[1] == 0 || r != (s > 0 ? 5 : 4)) break;
                    const int tf = e.pawnSlotPosition[slot] == 5 ? f - s : f + s;
                    if (tf < 1 || tf > 8) break;
                    const int beside = e.board[tf][r];
                    if (beside == 0 || e.pieceKind[beside] != -kPawnDoubleStep * s) break;
                    list<L>(e, listedKey(pawnKind, kPawnDoubleStep), kPawnDoubleStep, 0, f, r, tf,
                            tr, piece, slot);
                    break;
                }
            }
        }
        return;
    }
    for (int slot = 7; slot <= 18; ++slot) {
        const int group = e.pawnSlotOrder[slot];
        const int promotion = promotionKindForSlot(e, slot);
        if (group <= 10) {
            if (e.board[f][tr] == 0)
                list<L>(e, pushPromotionKey(absOf(promotion)), 0, promotion, f, r, f, tr, piece,
                        slot);
            continue;
        }
        const int tf = group <= 14 ? f - s : f + s;
        if (tf < 1 || tf > 8 || e.board[tf][tr] * s >= 0) continue;
        const int targetKind = absKindOn(e, tf, tr);
        list<L>(e, capturePromotionKey(targetKind, absOf(promotion)), targetKind, promotion, f, r,
                tf, tr, piece, slot);
    }
}

}  // namespace

namespace {

// Lists every candidate of one piece that L wants, quiet moves included.
template <Listing L>
void listPiece(BoardState& e, int piece) {
    const int s = e.sideToMove;
    const int index = s * piece;
    const int f = e.piecePos[index][1];
    if (f == 0) return;
    const int r = e.piecePos[index][2];
    const int kind = absOf(e.pieceKind[index]);
    switch (kind) {
        case kPawn:
        case kPawnDoubleStep:
            listPawn<L>(e, kind, piece, f, r, s, true);
            break;
        case kKnight:
            listSteps<L>(e, e.knightSlotStep[s], kKnightSlots, kind, piece, f, r, s, true);
            break;
        case kBishop:
        case kRook:
        case kQueen:
            listRays<L>(e, e.rayGroupStep[s][kind], kind == kQueen ? 8 : 4, kind, piece, f, r, s);
            break;
        default:
            listKing<L>(e, kind, piece, f, r, s, true, true);
            break;
    }
}

// The pieces of side s that may have a capture or promotion to list (and, when L lists key 1
// too, a king that may castle), as squares: worked out from the squares by kind class, so that
// the pieces with nothing to list (most of them) are never looked at one by one.
template <Listing L>
SquareSet piecesWithCaptures(const BoardState& e, int s, SquareSet enemy) {
    constexpr SquareSet kFileA = 0x0101010101010101ULL;
    constexpr SquareSet kFileH = kFileA << 7;
    const auto& own = e.kindSquares[s];
    SquareSet movers = 0;
    if (const SquareSet pawns = own[kPawn]; pawns != 0) {
        // The squares from which a pawn of side s takes on an enemy square, those of the rank
        // before promotion, and beside a pawn that may be taken en passant.
        SquareSet from = s > 0 ? ((enemy & ~kFileA) >> 9) | ((enemy & ~kFileH) >> 7)
                               : ((enemy & ~kFileA) << 7) | ((enemy & ~kFileH) << 9);
        from |= SquareSet{0xFF} << (s > 0 ? 48 : 8);
        const int ep = e.epInfo[1] != 0 ? squareBit(e.epInfo[1], e.epInfo[2]) : -1;
        if (ep >= 0 && ((e.captureTargets >> ep) & 1) != 0) from |= kGeometry.kingSteps[ep];
        movers |= pawns & from;
    }
    for (SquareSet k = own[kKnight]; k != 0; k &= k - 1) {
        const int sq = std::countr_zero(k);
        if ((kGeometry.knightJumps[sq] & enemy) != 0) movers |= SquareSet{1} << sq;
    }
    for (SquareSet b = own[kBishop] | own[kQueen]; b != 0; b &= b - 1) {
        const int sq = std::countr_zero(b);
        if ((kGeometry.diagonalLines[sq] & enemy) != 0) movers |= SquareSet{1} << sq;
    }
    for (SquareSet r = own[kRook] | own[kQueen]; r != 0; r &= r - 1) {
        const int sq = std::countr_zero(r);
        if ((kGeometry.straightLines[sq] & enemy) != 0) movers |= SquareSet{1} << sq;
    }
    if (const SquareSet king = own[6]; king != 0) {
        const int sq = std::countr_zero(king);
        const int kind = absOf(e.pieceKind[e.board[fileOfBit(sq)][rankOfBit(sq)]]);
        if ((kGeometry.kingSteps[sq] & enemy) != 0 ||
            (L != Listing::kKeyAboveOne && kind != kKingNone))
            movers |= king;
    }
    return movers;
}

// The captures, promotions and castling of the side to move (castling only when L lists key 1
// too), piece by piece in the order of their numbers.
template <Listing L>
void listCapturesAndPromotions(BoardState& e) {
    const int s = e.sideToMove;
    const Occupancy occ{e.occupied[1] | e.occupied[-1], e.occupied[-s] & e.captureTargets};
    unsigned pieces = 0;
    for (SquareSet m = piecesWithCaptures<L>(e, s, occ.enemy); m != 0; m &= m - 1) {
        const int sq = std::countr_zero(m);
        pieces |= 1u << absOf(e.board[fileOfBit(sq)][rankOfBit(sq)]);
    }
    for (; pieces != 0; pieces &= pieces - 1) {
        const int i = std::countr_zero(pieces);
        const int index = s * i;
        const int f = e.piecePos[index][1];
        const int r = e.piecePos[index][2];
        const int kind = absOf(e.pieceKind[index]);
        const int from = squareBit(f, r);
        switch (kind) {
            case kPawn:
            case kPawnDoubleStep:
                listPawn<L>(e, kind, i, f, r, s, false);
                break;
            case kKnight:
                listSteps<L>(e, e.knightSlotStep[s], kKnightSlots, kind, i, f, r, s, false);
                break;
            case kBishop:
            case kRook:
            case kQueen:
                listRayCaptures<L>(e, e.rayGroupDirection[s][kind], kind == kQueen ? 8 : 4, kind, i,
                                   f, r, occ);
                break;
            default:
                listKing<L>(e, kind, i, f, r, s, false,
                            (kGeometry.kingSteps[from] & occ.enemy) != 0);
                break;
        }
    }
}

// One pass over the pieces into moveList[ply]. Beyond iterationDepth, and when only keys above
// 1 are wanted, no quiet move is listed.
template <Listing L>
void listAllPieces(BoardState& e, int ply) {
    e.listingPly = ply;
    e.moveCount[ply] = 0;
    if (L == Listing::kKeyAboveOne || ply > e.iterationDepth)
        listCapturesAndPromotions<L>(e);
    else
        for (int i = 1; i <= 16; ++i) listPiece<L>(e, i);
    // Listed piece by piece; in key order, higher keys first, the listing order among equal
    // keys (a stable insertion sort: lists are short and mostly in order already).
    auto& rows = e.moveList[ply];
    auto& keys = e.listKeys;
    const int n = e.moveCount[ply];
    for (int i = 2; i <= n; ++i) {
        const int key = keys[i];
        if (key <= keys[i - 1]) continue;
        const CandidateRow row = rows[i];
        int j = i;
        for (; j > 1 && keys[j - 1] < key; --j) {
            rows[j] = rows[j - 1];
            keys[j] = keys[j - 1];
        }
        rows[j] = row;
        keys[j] = key;
    }
    if (e.checkBeforePly[ply] != kCheckFollowsMove) e.checkBeforePly[ply] = 0;
    e.pinsKnownPly[ply] = 0;
}

}  // namespace

void generateCandidates(BoardState& e, int ply) {
    listAllPieces<Listing::kAll>(e, ply);
    e.quietPieceNext[ply] = 17;
}

void listSearchCandidates(BoardState& e, int ply) {
    if (ply > e.iterationDepth) {
        // Beyond the nominal depth the list is short: captures, promotions and castling.
        generateCandidates(e, ply);
        return;
    }
    listAllPieces<Listing::kKeyAboveOne>(e, ply);
    e.quietPieceNext[ply] = 1;
    if (e.moveCount[ply] == 0) listMoreCandidates(e, ply);
}

void listCapturesOnto(BoardState& e, int ply, SquareSet targets) {
    e.captureTargets = targets;
    generateCandidates(e, ply);
    e.captureTargets = ~SquareSet{0};
}

bool listMoreCandidates(BoardState& e, int ply) {
    e.quietListPly = ply;
    const int before = e.moveCount[ply];
    while (e.quietPieceNext[ply] <= 16) {
        listPiece<Listing::kKeyOne>(e, e.quietPieceNext[ply]++);
        if (e.moveCount[ply] > before) return true;
    }
    return false;
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
        targetKind = absKindOn(e, m.toFile, m.toRank);
    }
    int key = 1;
    switch (m.type) {
        case SlotMove::kCastleKingside:
        case SlotMove::kCastleQueenside:
            key = 1;
            break;
        case SlotMove::kPromotionPush:
            key = pushPromotionKey(absOf(m.promotionKind));
            break;
        case SlotMove::kPromotionCapture:
            key = capturePromotionKey(targetKind, absOf(m.promotionKind));
            break;
        default:
            key = moveKey(kind, targetKind);
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

bool quietCandidate(const BoardState& e, int piece, int slot, CandidateRow& row) {
    const int s = e.sideToMove;
    const int index = s * piece;
    const int fromFile = e.piecePos[index][1];
    const int fromRank = e.piecePos[index][2];
    if (fromFile == 0 || slot < 1 || slot > e.pieceSlots[index]) return false;
    const int kind = absOf(e.pieceKind[index]);
    if ((kind == kPawn || kind == kPawnDoubleStep) && (slot >= 7 || fromRank == (s > 0 ? 7 : 2)))
        return false;
    const DecodedSlot m = decodeSlot(e, index, fromFile, fromRank, slot);
    if (evaluateSlot(e, m, fromFile, fromRank) != SlotOutcome::kQuiet) return false;
    const bool castle = m.type == SlotMove::kCastleKingside || m.type == SlotMove::kCastleQueenside;
    if (m.type == SlotMove::kRay) {
        const int d = e.rayGroupDirection[s][kind][m.group];
        const int to = squareBit(m.toFile, m.toRank);
        const SquareSet between = kGeometry.ray[squareBit(fromFile, fromRank)][d] &
                                  ~kGeometry.ray[to][d] & ~(SquareSet{1} << to);
        if ((between & (e.occupied[1] | e.occupied[-1])) != 0) return false;
    }
    writeRow(row, 0, 0, fromFile, fromRank, castle ? 0 : m.toFile, castle ? 0 : m.toRank, piece,
             slot);
    return true;
}

void addCandidate(BoardState& e, int fromFile, int fromRank, int toFile, int toRank, int piece,
                  int slot) {
    emit(e, e.captureKey, e.capturedKindOfCandidate, e.promotionKindOfCandidate, fromFile, fromRank,
         toFile, toRank, piece, slot);
}

void flattenCandidates(BoardState& e, int ply) {
    int n = 0;
    // Buckets in ascending order; only those that took a candidate can hold any.
    for (unsigned used = e.bucketsInUse; used != 0; used &= used - 1) {
        const int b = std::countr_zero(used);
        for (int k = 1; k <= e.bucketCount[b]; ++k) {
            if (n >= kListRows) break;
            n += 1;
            e.moveList[ply][n] = e.candidateBuckets[b][k];
        }
    }
    e.moveCount[ply] = n;
}

}  // namespace qm

#include "board/king_safety.h"

#include "board/geometry.h"
#include "board/slots.h"

namespace qm {

namespace {

// True when the square (file, rank) holds a piece of one of the two signed kinds.
inline bool holdsKind(const GameTables& g, int file, int rank, int kindA, int kindB) {
    if (!onBoard(file, rank)) return false;
    int index = g.board[file][rank];
    if (index == 0) return false;
    int kind = g.pieceKind[index];
    return kind == kindA || kind == kindB;
}

// The first of the `occupied` squares along direction d from (file, rank) holds kindA or kindB.
inline bool rayHits(const GameTables& g, SquareSet occupied, int file, int rank, int d, int kindA,
                    int kindB) {
    const int met = firstAlongRay(d, squareBit(file, rank), occupied);
    if (met < 0) return false;
    const int kind = g.pieceKind[g.board[fileOfBit(met)][rankOfBit(met)]];
    return kind == kindA || kind == kindB;
}

// Whether the side -s attacks (file, rank), the pieces standing on `occupied` and on the board:
// pawns, knights and sliders, and, when asked, a king beside the square.
bool attackedBy(const GameTables& g, SquareSet occupied, int s, int file, int rank,
                bool kingBeside) {
    // The material counts tell which kinds the attacker has at all, and the squares the
    // attacker holds which patterns can meet one of its pieces.
    const auto& m = g.materialCount;
    const int square = squareBit(file, rank);
    const SquareSet attacker = occupied & g.occupied[-s];
    if (m[-kPawn * s][1] != 0 && (kGeometry.pawnCaptures[s > 0 ? 1 : 0][square] & attacker) != 0) {
        if (holdsKind(g, file - s, rank + s, -kPawn * s, -kPawnDoubleStep * s)) return true;
        if (holdsKind(g, file + s, rank + s, -kPawn * s, -kPawnDoubleStep * s)) return true;
    }
    if (m[-kKnight * s][1] != 0 && (kGeometry.knightJumps[square] & attacker) != 0) {
        for (int j = 1; j <= 8; ++j)
            if (holdsKind(g, file + kJumpFile[j], rank + kJumpRank[j], -kKnight * s, -kKnight * s))
                return true;
    }
    const bool queens = m[-kQueen * s][1] != 0;
    if ((queens || m[-kRook * s][1] != 0) && (kGeometry.straightLines[square] & attacker) != 0) {
        for (int d = 1; d <= 4; ++d)
            if (rayHits(g, occupied, file, rank, d, -kRook * s, -kQueen * s)) return true;
    }
    if ((queens || m[-kBishop * s][1] != 0 || m[-kBishop * s][2] != 0) &&
        (kGeometry.diagonalLines[square] & attacker) != 0) {
        for (int d = 5; d <= 8; ++d)
            if (rayHits(g, occupied, file, rank, d, -kBishop * s, -kQueen * s)) return true;
    }
    if (kingBeside && (kGeometry.kingSteps[square] & attacker) != 0) {
        for (int d = 1; d <= 8; ++d) {
            const int f = file + kDirFile[d];
            const int r = rank + kDirRank[d];
            if (!onBoard(f, r)) continue;
            const int other = g.board[f][r];
            if (other != 0 && absOf(g.pieceKind[other]) > 5 && absOf(g.pieceKind[other]) < 10)
                return true;
        }
    }
    return false;
}

// Whether the piece of signed kind `kind` on (file, rank) attacks (kFile, kRank), the squares
// between them being as the board has them.
bool pieceAttacks(const GameTables& g, int kind, int file, int rank, int kFile, int kRank) {
    const int df = kFile - file;
    const int dr = kRank - rank;
    const int k = absOf(kind);
    if (k == kPawn || k == kPawnDoubleStep) return dr == signOf(kind) && absOf(df) == 1;
    if (k == kKnight) return absOf(df) * absOf(dr) == 2;
    const bool straight = df == 0 || dr == 0;
    const bool diagonal = absOf(df) == absOf(dr);
    if (k == kRook ? !straight : k == kBishop ? !diagonal : k != kQueen || !(straight || diagonal))
        return false;
    const int d = kDirectionOf[signOf(df) + 1][signOf(dr) + 1];
    return firstAlongRay(d, squareBit(file, rank), g.occupied[1] | g.occupied[-1]) ==
           squareBit(kFile, kRank);
}

}  // namespace

void testKingSafety(GameTables& g, int& result, int index, int fromFile, int fromRank, int toFile,
                    int toRank) {
    const int s = g.sideToMove;
    const bool kingMove = absOf(g.pieceKind[index]) > 5;
    SquareSet occupied = g.occupied[1] | g.occupied[-1];

    // Trial move.
    int kFile, kRank;
    int savedCell = 0;
    bool enPassant = false;
    if (kingMove) {
        savedCell = g.board[fromFile][fromRank];
        if (fromFile != toFile || fromRank != toRank) {
            g.board[fromFile][fromRank] = 0;
            occupied &= ~squareSet(fromFile, fromRank);
        }
        kFile = toFile;
        kRank = toRank;
    } else {
        kFile = g.kingPos[s][1];
        kRank = g.kingPos[s][2];
        int mover = g.board[fromFile][fromRank];
        enPassant = mover != 0 && absOf(g.pieceKind[mover]) == kPawn && fromFile != toFile &&
                    g.board[toFile][toRank] == 0;
        occupied = (occupied & ~squareSet(fromFile, fromRank)) | squareSet(toFile, toRank);
        if (enPassant) {
            g.board[toFile][toRank] = mover;
            g.board[fromFile][fromRank] = 0;
            savedCell = g.board[toFile][fromRank];
            g.board[toFile][fromRank] = 0;
            occupied &= ~squareSet(toFile, fromRank);
        } else {
            savedCell = g.board[toFile][toRank];
            g.board[toFile][toRank] = mover;
            g.board[fromFile][fromRank] = 0;
        }
    }

    result = attackedBy(g, occupied, s, kFile, kRank, kingMove) ? kKingAttacked : kKingSafe;

    // Take-back.
    if (kingMove) {
        g.board[fromFile][fromRank] = savedCell;
    } else {
        g.board[fromFile][fromRank] = g.board[toFile][toRank];
        if (enPassant) {
            g.board[toFile][toRank] = 0;
            g.board[toFile][fromRank] = savedCell;
        } else {
            g.board[toFile][toRank] = savedCell;
        }
    }
}

int kingStandsInCheck(GameTables& g) {
    const int s = g.sideToMove;
    const int file = g.kingPos[s][1];
    const int rank = g.kingPos[s][2];
    int result;
    testKingSafety(g, result, g.board[file][rank], file, rank, file, rank);
    return result;
}

SquareSet pinnedPieces(const GameTables& g) {
    const int s = g.sideToMove;
    const int king = squareBit(g.kingPos[s][1], g.kingPos[s][2]);
    const SquareSet own = g.occupied[s];
    const SquareSet enemy = g.occupied[-s];
    const SquareSet occupied = own | enemy;
    const auto& m = g.materialCount;
    const bool queens = m[-kQueen * s][1] != 0;
    const bool straight = queens || m[-kRook * s][1] != 0;
    const bool diagonal = queens || m[-kBishop * s][1] != 0 || m[-kBishop * s][2] != 0;
    SquareSet pinned = 0;
    for (int d = 1; d <= 8; ++d) {
        if (!(d <= 4 ? straight : diagonal) || (kGeometry.ray[king][d] & enemy) == 0) continue;
        const int first = firstAlongRay(d, king, occupied);
        if (first < 0 || ((own >> first) & 1) == 0) continue;
        const int second = firstAlongRay(d, first, occupied);
        if (second < 0 || ((enemy >> second) & 1) == 0) continue;
        const int kind = g.pieceKind[g.board[fileOfBit(second)][rankOfBit(second)]];
        if (kind == (d <= 4 ? -kRook * s : -kBishop * s) || kind == -kQueen * s)
            pinned |= SquareSet{1} << first;
    }
    return pinned;
}

int checkGivenByMove(const GameTables& g, int q) {
    const auto& record = g.plyRecord[q];
    if (record[kRecMover] == 0 || record[kRecCastling] != 0 || record[kRecEnPassant] != 0) return 0;
    const int s = g.sideToMove;
    const int kFile = g.kingPos[s][1];
    const int kRank = g.kingPos[s][2];
    const int toFile = record[kRecToFile];
    const int toRank = record[kRecToRank];
    if (pieceAttacks(g, g.pieceKind[g.board[toFile][toRank]], toFile, toRank, kFile, kRank))
        return kKingAttacked;
    // A line through the square the piece left.
    const int df = record[kRecFromFile] - kFile;
    const int dr = record[kRecFromRank] - kRank;
    if (df != 0 && dr != 0 && absOf(df) != absOf(dr)) return kKingSafe;
    const int stepFile = signOf(df);
    const int stepRank = signOf(dr);
    const int slider = stepFile != 0 && stepRank != 0 ? -kBishop * s : -kRook * s;
    return rayHits(g, g.occupied[1] | g.occupied[-1], kFile, kRank,
                   kDirectionOf[stepFile + 1][stepRank + 1], slider, -kQueen * s)
               ? kKingAttacked
               : kKingSafe;
}

}  // namespace qm

#include "board/king_safety.h"

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

// The first occupied square along a direction from (file, rank) holds kindA or kindB.
inline bool rayHits(const GameTables& g, int file, int rank, int df, int dr, int kindA, int kindB) {
    int f = file + df;
    int r = rank + dr;
    while (onBoard(f, r)) {
        int index = g.board[f][r];
        if (index != 0) {
            int kind = g.pieceKind[index];
            return kind == kindA || kind == kindB;
        }
        f += df;
        r += dr;
    }
    return false;
}

}  // namespace

void testKingSafety(GameTables& g, int& result, int index, int fromFile, int fromRank, int toFile,
                    int toRank) {
    const int s = g.sideToMove;
    const bool kingMove = absOf(g.pieceKind[index]) > 5;

    // Trial move.
    int kFile, kRank;
    int savedCell = 0;
    bool enPassant = false;
    if (kingMove) {
        savedCell = g.board[fromFile][fromRank];
        if (fromFile != toFile || fromRank != toRank) g.board[fromFile][fromRank] = 0;
        kFile = toFile;
        kRank = toRank;
    } else {
        kFile = g.kingPos[s][1];
        kRank = g.kingPos[s][2];
        int mover = g.board[fromFile][fromRank];
        enPassant = mover != 0 && absOf(g.pieceKind[mover]) == kPawn && fromFile != toFile &&
                    g.board[toFile][toRank] == 0;
        if (enPassant) {
            g.board[toFile][toRank] = mover;
            g.board[fromFile][fromRank] = 0;
            savedCell = g.board[toFile][fromRank];
            g.board[toFile][fromRank] = 0;
        } else {
            savedCell = g.board[toFile][toRank];
            g.board[toFile][toRank] = mover;
            g.board[fromFile][fromRank] = 0;
        }
    }

    // Attack scan: every check runs.
    result = kKingSafe;
    if (holdsKind(g, kFile - s, kRank + s, -kPawn * s, -kPawnDoubleStep * s))
        result = kKingAttacked;
    if (holdsKind(g, kFile + s, kRank + s, -kPawn * s, -kPawnDoubleStep * s))
        result = kKingAttacked;
    for (int j = 1; j <= 8; ++j)
        if (holdsKind(g, kFile + kJumpFile[j], kRank + kJumpRank[j], -kKnight * s, -kKnight * s))
            result = kKingAttacked;
    for (int d = 1; d <= 4; ++d)
        if (rayHits(g, kFile, kRank, kDirFile[d], kDirRank[d], -kRook * s, -kQueen * s))
            result = kKingAttacked;
    for (int d = 5; d <= 8; ++d)
        if (rayHits(g, kFile, kRank, kDirFile[d], kDirRank[d], -kBishop * s, -kQueen * s))
            result = kKingAttacked;
    if (kingMove) {
        for (int d = 1; d <= 8; ++d) {
            int f = kFile + kDirFile[d];
            int r = kRank + kDirRank[d];
            if (!onBoard(f, r)) continue;
            int other = g.board[f][r];
            if (other != 0 && absOf(g.pieceKind[other]) > 5 && absOf(g.pieceKind[other]) < 10)
                result = kKingAttacked;
        }
    }

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

int openedLineSafety(const GameTables& g, int fromFile, int fromRank, int toFile, int toRank) {
    const int s = g.sideToMove;
    const int kFile = g.kingPos[s][1];
    const int kRank = g.kingPos[s][2];
    const int df = fromFile - kFile;
    const int dr = fromRank - kRank;
    if (df != 0 && dr != 0 && absOf(df) != absOf(dr)) return kKingSafe;
    const int stepFile = signOf(df);
    const int stepRank = signOf(dr);
    const bool diagonal = stepFile != 0 && stepRank != 0;
    const int slider = diagonal ? -kBishop * s : -kRook * s;
    for (int f = kFile + stepFile, r = kRank + stepRank; onBoard(f, r);
         f += stepFile, r += stepRank) {
        if (f == toFile && r == toRank) return kKingSafe;  // the mover stands on the line
        if (f == fromFile && r == fromRank) continue;      // the square it leaves
        const int index = g.board[f][r];
        if (index == 0) continue;
        const int kind = g.pieceKind[index];
        return kind == slider || kind == -kQueen * s ? kKingAttacked : kKingSafe;
    }
    return kKingSafe;
}

}  // namespace qm

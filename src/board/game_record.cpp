#include "board/game_record.h"

#include <cmath>

namespace qm {

void fillKeyTerms(GameTables& g) {
    for (int kind = -10; kind <= 10; ++kind) {
        const int s = signOf(kind);
        for (int file = 1; file <= 8; ++file) {
            for (int rank = 1; rank <= 8; ++rank) {
                double bracket =
                    10000.0 + file + 10.0 * rank + 100.0 * absOf(kind) + 10000.0 * (s + 1) / 2;
                g.keyTerms[kind][file][rank] =
                    bracket * g.keyByKind[kind] * g.keyByFile[file] * g.keyByRank[rank];
            }
        }
    }
}

double keyDigest(double key) {
    const double x = 1000000.0 * key;
    // floor through a whole-number conversion where it is exact (keys stay far below this),
    // without the library call.
    if (!(x > -1e15 && x < 1e15)) return std::floor(x);
    const double whole = static_cast<double>(static_cast<long long>(x));
    if (whole == x) return x;
    return whole > x ? whole - 1.0 : whole;
}

namespace {

std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

}  // namespace

std::uint64_t exactSignature(const GameTables& g, int sideToMoveNext) {
    std::uint64_t h = mix(sideToMoveNext > 0 ? 1 : 2);
    for (int file = 1; file <= 8; ++file) {
        for (int rank = 1; rank <= 8; ++rank) {
            int index = g.board[file][rank];
            if (index == 0) continue;
            int kind = g.pieceKind[index];
            int k = absOf(kind);
            if (k == kPawnDoubleStep) k = kPawn;
            if (k > 5) k = 6;
            h ^= mix(static_cast<std::uint64_t>((file * 8 + rank) * 16 + k * 2 + (kind > 0)));
        }
    }
    for (int side : {1, -1}) {
        int king = g.pieceIndexOf[13] * side;
        h ^= mix(static_cast<std::uint64_t>(1000 + absOf(g.pieceKind[king]) * 2 + (side > 0)));
    }
    if (g.epInfo[1] != 0) {
        int f = g.epInfo[1], r = g.epInfo[2];
        for (int df : {-1, 1}) {
            int nf = f + df;
            if (nf < 1 || nf > 8) continue;
            int other = g.board[nf][r];
            if (other != 0 && g.pieceKind[other] == kPawn * sideToMoveNext)
                h ^= mix(static_cast<std::uint64_t>(2000 + f));
        }
    }
    return h;
}

void keySetupPosition(GameTables& g, int row, int sideToMoveNext) {
    double key = 0.0;
    for (int file = 1; file <= 8; ++file)
        for (int rank = 1; rank <= 8; ++rank) {
            int index = g.board[file][rank];
            if (index != 0) key += keyTerm(g, g.pieceKind[index], file, rank);
        }
    g.positionKey[row][1] = key;
    g.positionKey[row][2] = keyDigest(key);
    double capturable = 0.0;
    if (g.epInfo[1] != 0) {
        for (int df : {-1, 1}) {
            int nf = g.epInfo[1] + df;
            if (nf < 1 || nf > 8) continue;
            int other = g.board[nf][g.epInfo[2]];
            if (other != 0 && g.pieceKind[other] == kPawn * sideToMoveNext) capturable = 1.0;
        }
    }
    g.positionKey[row][3] = capturable;
    g.positionSignature[row] = exactSignature(g, sideToMoveNext);
    g.setupRow = row;
}

void noteGameMove(GameTables& g, int row, int mover, bool doubleStep, int pawnIndex, int fromFile,
                  int fromRank, int toFile, int toRank) {
    auto& r0 = g.plyRecord[0];
    for (int c = 1; c <= 13; ++c) r0[c] = 0;
    if (doubleStep) {
        r0[1] = pawnIndex;
        r0[5] = 1;
        r0[6] = fromFile;
        r0[7] = fromRank;
        r0[8] = toFile;
        r0[9] = toRank;
    }
    g.positionSignature[row] = exactSignature(g, -mover);
}

void clearGameRows(GameTables& g) {
    g.plyRecord.clear();
    for (int row = 0; row <= g.highestGameRow; ++row) g.gameMoves[row].clear();
    g.highestGameRow = 0;
}

void ensurePlyCapacity(GameTables& g) {
    if (g.gamePly <= kPlyCapacity) return;
    int shift = g.gamePly - kPlyRowsKept;
    shift -= shift % 2;
    for (int row = 0; row <= kLastPlyRow; ++row) {
        int from = row + shift;
        if (from <= kLastPlyRow) {
            g.gameMoves[row] = g.gameMoves[from];
            g.positionKey[row] = g.positionKey[from];
            g.positionSignature[row] = g.positionSignature[from];
        } else {
            g.gameMoves[row].clear();
            g.positionKey[row].clear();
            g.positionSignature[row] = 0;
        }
    }
    g.gamePly -= shift;
    g.gamePlyBase += shift;
    g.setupRow = g.setupRow > shift ? g.setupRow - shift : 0;
}

bool gameRepetition(const GameTables& g, int row) {
    const int h = g.gameMoves[row][8];
    if (h < 4) return false;
    int byKey = 0;
    int exact = 0;
    for (int i = row - 2 * (h / 2); i <= row - 2; i += 2) {
        if (i < 0 || i < g.setupRow) continue;
        if (g.positionKey[i][2] == g.positionKey[row][2] && g.positionKey[i][3] == 0.0) ++byKey;
        if (g.positionSignature[i] == g.positionSignature[row]) ++exact;
    }
    return byKey >= 2 && exact >= 2;
}

void recordGameMove(GameTables& g, const std::string& text, bool engineMove) {
    if (g.historyCount >= kHistoryCap || text.size() > 5) {
        g.historyComplete = false;
        return;
    }
    g.historyCount += 1;
    auto& entry = g.moveHistory[g.historyCount];
    entry.fill(0);
    for (std::size_t i = 0; i < text.size(); ++i) entry[i] = text[i];
    entry[6] = engineMove ? 1 : 0;
}

}  // namespace qm

#include "board/state_init.h"

#include <cmath>

#include "board/game_record.h"
#include "board/slots.h"

namespace qm {

namespace {

// floor(n * r) + 1 for r uniform in [0, 1).
int drawUpTo(RandomSource& random, int n) {
    int v = static_cast<int>(std::floor(n * random.next())) + 1;
    return v > n ? n : v;  // r < 1, so this only guards against rounding
}

// Fills table[1..n] with a permutation of 1..n drawn by rejection.
template <int N>
void drawPermutation(RandomSource& random, Table<int, 1, N>& table, int n, int offset = 0) {
    bool taken[N + 1] = {};
    for (int k = 1; k <= n; ++k) {
        int v;
        do v = drawUpTo(random, n);
        while (taken[v]);
        taken[v] = true;
        table[k + offset] = v;
    }
}

}  // namespace

void setIdentitySlotOrders(GameTables& g) {
    for (int k = 1; k <= 18; ++k) g.pawnSlotOrder[k] = k;
    for (int k = 1; k <= 10; ++k) g.kingSlotOrder[k] = k;
    for (int k = 1; k <= 8; ++k) g.knightJumpOrder[k] = k;
    for (int k = 1; k <= 4; ++k) g.bishopDirOrder[k] = k;
    for (int k = 1; k <= 4; ++k) g.rookDirOrder[k] = k;
    for (int k = 1; k <= 8; ++k) g.queenDirOrder[k] = k;
    refreshSlotTables(g);
}

void recountOccupancy(BoardState& g) {
    // What the move maker worked out about the position before is no longer known either.
    g.checkBeforePly.clear();
    g.pinsKnownPly.clear();
    g.occupied.clear();
    g.kindSquares.clear();
    for (int file = 1; file <= 8; ++file)
        for (int rank = 1; rank <= 8; ++rank) {
            const int index = g.board[file][rank];
            if (index == 0) continue;
            g.occupied[signOf(index)] |= squareSet(file, rank);
            g.kindSquares[signOf(index)][kindClass(g.pieceKind[index])] |= squareSet(file, rank);
        }
}

bool occupancyAgrees(const GameTables& g) {
    Table<Table<SquareSet, 0, 6>, -1, 1> byKind;
    Table<SquareSet, -1, 1> bySide;
    byKind.clear();
    bySide.clear();
    for (int file = 1; file <= 8; ++file)
        for (int rank = 1; rank <= 8; ++rank) {
            const int index = g.board[file][rank];
            if (index == 0) continue;
            bySide[signOf(index)] |= squareSet(file, rank);
            byKind[signOf(index)][kindClass(g.pieceKind[index])] |= squareSet(file, rank);
        }
    return byKind == g.kindSquares && bySide == g.occupied;
}

void resetPieceIdentities(GameTables& g) {
    for (int i = -16; i <= 16; ++i) {
        g.pieceIndexOf[i] = i;
        g.pieceIndexTrack[i][1] = i;
        g.pieceIndexTrack[i][2] = 0;
    }
}

void startupInitialise(BoardState& e) {
    e.board.clear();
    e.occupied.clear();
    e.kindSquares.clear();
    e.piecePos.clear();
    e.pieceKind.clear();
    e.pieceSlots.clear();
    e.plyRecord.clear();
    e.gameMoves.clear();
    e.highestGameRow = 0;
    e.epInfo.clear();
    e.materialCount.clear();
    e.kingPos.clear();
    e.positionKey.clear();
    resetPieceIdentities(e);
    setIdentitySlotOrders(e);
    e.io.random.seedFromClock(e.io.clock.seconds());
    for (int k = -10; k <= 10; ++k) e.keyByKind[k] = e.io.random.next();
    for (int f = 1; f <= 8; ++f) {
        e.keyByFile[f] = e.io.random.next();
        e.keyByRank[f] = e.io.random.next();
    }
    fillKeyTerms(e);
    e.gamePly = 0;
    e.engineState = 0;
    e.maxDepth = kMaxDepth;
    e.sideToMove = 0;
    e.engineSide = 0;
    e.forceMode = 0;
    // Room for any command item, so that reading one does not reallocate.
    constexpr std::size_t kTextRoom = 8192;
    e.inputLine.reserve(kTextRoom);
    e.pendingMove.reserve(kTextRoom);
    e.positionFen.reserve(kTextRoom);
}

void renumberPieces(BoardState& e) {
    e.io.random.seedFromClock(e.io.clock.seconds());

    Table<int, 1, 16> perm;
    drawPermutation(e.io.random, perm, 16);

    // Old index -> new index, for the moment.
    for (int k = 1; k <= 16; ++k) {
        e.pieceIndexOf[perm[k]] = k;
        e.pieceIndexOf[-perm[k]] = -k;
    }

    Table<Table<int, 1, 2>, -16, 16> pos;
    Table<int, -16, 16> kind;
    Table<int, -16, 16> slots;
    for (int k = -16; k <= 16; ++k) {
        if (k == 0) continue;
        int old = k > 0 ? perm[k] : -perm[-k];
        pos[k] = e.piecePos[old];
        kind[k] = e.pieceKind[old];
        slots[k] = e.pieceSlots[old];
    }
    for (int k = -16; k <= 16; ++k) {
        if (k == 0) continue;
        e.piecePos[k] = pos[k];
        e.pieceKind[k] = kind[k];
        e.pieceSlots[k] = slots[k];
        if (pos[k][1] != 0) e.board[pos[k][1]][pos[k][2]] = k;
    }

    if (e.epInfo[1] != 0) {
        e.epInfo[3] = e.board[e.epInfo[1]][e.epInfo[2]];
        e.plyRecord[0][1] = e.epInfo[3];
    }

    // Compose with the earlier renumberings: set-up index -> current index.
    for (int k = -16; k <= 16; ++k) {
        if (k == 0) continue;
        e.pieceIndexTrack[k][2] = e.pieceIndexOf[k];
    }
    for (int k = -16; k <= 16; ++k) {
        if (k == 0) continue;
        e.pieceIndexOf[k] = e.pieceIndexTrack[e.pieceIndexTrack[k][1]][2];
    }
    for (int k = -16; k <= 16; ++k) {
        if (k == 0) continue;
        e.pieceIndexTrack[k][1] = e.pieceIndexOf[k];
    }

    shuffleSlotOrders(e);
}

void shuffleSlotOrders(BoardState& e) {
    RandomSource& random = e.io.random;

    // Pawn slots: the six ordinary moves, then the three promotion groups in a random order,
    // each group's four kinds permuted.
    drawPermutation(random, e.pawnSlotOrder, 6);
    static constexpr int kGroupOrders[6][3] = {{7, 11, 15}, {7, 15, 11}, {11, 7, 15},
                                               {11, 15, 7}, {15, 7, 11}, {15, 11, 7}};
    int b = drawUpTo(random, 6);
    for (int g = 0; g < 3; ++g) {
        int start = kGroupOrders[b - 1][g];
        Table<int, 1, 4> t;
        drawPermutation(random, t, 4);
        for (int k = 1; k <= 4; ++k) e.pawnSlotOrder[6 + 4 * g + k] = t[k] + start - 1;
    }

    drawPermutation(random, e.knightJumpOrder, 8);
    drawPermutation(random, e.bishopDirOrder, 4);
    drawPermutation(random, e.rookDirOrder, 4);
    drawPermutation(random, e.queenDirOrder, 8);
    drawPermutation(random, e.kingSlotOrder, 10);
    refreshSlotTables(e);
}

}  // namespace qm

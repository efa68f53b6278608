// Positions of king and two knights against a bare king that are not draws: the bare king
// is mated (bare side to move), or the knights' side mates with its next move.
#pragma once

#include "board/table.h"

namespace qm {

struct KnightPairTables {
    Table<int, 1, 56> knightPairMated;
    Table<int, 1, 232> knightPairMateInOne;
};

// Fills both tables from the built-in data, in stored order.
void fillKnightPairTables(KnightPairTables& tables);

// True when code (bare king, other king, knight, knight as eight digits) matches an entry of
// the table: kings equal, the knight squares equal as an unordered pair.
template <int N>
bool knightPairFound(const Table<int, 1, N>& table, int code) {
    int kings = code / 10000;
    int knightA = (code / 100) % 100;
    int knightB = code % 100;
    for (int i = 1; i <= N; ++i) {
        int entry = table[i];
        if (entry / 10000 != kings) continue;
        int entryA = (entry / 100) % 100;
        int entryB = entry % 100;
        if ((entryA == knightA && entryB == knightB) || (entryA == knightB && entryB == knightA))
            return true;
    }
    return false;
}

}  // namespace qm

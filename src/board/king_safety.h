// The engine's one legality test: would the mover's king stand attacked after a move?
#pragma once

#include "board/game_state.h"

namespace qm {

inline constexpr int kKingSafe = 1;
inline constexpr int kKingAttacked = 2;

// Plays the move of piece `index` for a moment on the board, looks whether the king of the
// side to move is attacked, and restores the board. result: 1 safe, 2 attacked. For an
// in-check test pass the king's own square as both from and to.
void testKingSafety(GameTables& g, int& result, int index, int fromFile, int fromRank, int toFile,
                    int toRank);

}  // namespace qm

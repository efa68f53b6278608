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

// Whether the move recorded at ply q, made by the side not to move now from a position in which
// the king of the side to move was not attacked, put that king in check: the moved piece
// attacks it, or the square it left opened a line to it. kKingSafe or kKingAttacked; 0 when
// the record names no move, and for castling and en passant, which need the whole scan.
int checkGivenByMove(const GameTables& g, int q);

// kKingSafe or kKingAttacked: the king of the side to move as it stands now.
int kingStandsInCheck(GameTables& g);

// The pieces of the side to move that stand alone on a line between their king and an enemy
// rook, bishop or queen that moves along it (pinned pieces), as squares.
SquareSet pinnedPieces(const GameTables& g);

}  // namespace qm

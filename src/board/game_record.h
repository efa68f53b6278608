// Bookkeeping of the game as a whole: the position key and an exact signature per game ply,
// the en-passant row that describes how the current game position was reached, and keeping
// the per-ply tables within their rows however long a game runs.
#pragma once

#include <cstdint>
#include <string>

#include "board/game_state.h"

namespace qm {

// Highest gamePly at which a full search still fits in the per-ply tables.
inline constexpr int kPlyCapacity = kLastPlyRow - kMaxDepth - 2;
// Rows kept at the end of the tables when a long game is moved to their front.
inline constexpr int kPlyRowsKept = 200;

// Key term of signed kind k on (file, rank).
inline double keyTerm(const GameTables& g, int kind, int file, int rank) {
    return g.keyTerms[kind][file][rank];
}

// Works out every key term from the key factors; call after drawing them.
void fillKeyTerms(GameTables& g);
// floor(1 000 000 * key), the value compared for repetitions.
double keyDigest(double key);

// Exact 64-bit signature of the position on the board: pieces, castling rights, side to move
// and a possible en-passant capture. Used to confirm repetition claims.
std::uint64_t exactSignature(const GameTables& g, int sideToMoveNext);

// Gives the set-up position at row `row` a key of its own (the sum of the terms of every
// piece) and makes it the first row that counts for repetitions.
void keySetupPosition(GameTables& g, int row, int sideToMoveNext);

// After a game move stored at row `row` by colour `mover`: plyRecord row 0 describes the move
// as far as en passant needs it (a two-square advance, or nothing), and the row's exact
// signature is recorded.
void noteGameMove(GameTables& g, int row, int mover, bool doubleStep, int pawnIndex, int fromFile,
                  int fromRank, int toFile, int toRank);

// Notes that gameMoves row `row` is written, so that clearing the game's rows reaches it.
inline void noteGameRow(GameTables& g, int row) {
    if (row > g.highestGameRow) g.highestGameRow = row;
}

// Clears plyRecord and the rows of gameMoves a game has written (0..highestGameRow), which
// leaves the tables as a clear of every row would, at a fraction of its cost.
void clearGameRows(GameTables& g);

// Moves the latest rows of a long game to the front of the per-ply tables when gamePly would
// run past their capacity; the dropped plies are kept in gamePlyBase.
void ensurePlyCapacity(GameTables& g);

// Number of the game's half-move in play, counting plies dropped from the tables.
inline int gamePlyNumber(const GameTables& g) {
    return g.gamePly + g.gamePlyBase;
}

// Ply number for the time control: the GUI counts the moves of a period from the set-up
// position, so the set-up position counts as the first ply of its colour (1 with White to
// move, 2 with Black). For a game from the start position this is the game's ply number.
inline int timeControlPly(const GameTables& g) {
    return gamePlyNumber(g) - g.setupPlyNumber + (g.setupSideToMove < 0 ? 2 : 1);
}

// The game position at `row` (side to move next: sideToMoveNext) is its third occurrence since
// the last capture or pawn move: same key digest by the engine's rule, confirmed by the exact
// signature.
bool gameRepetition(const GameTables& g, int row);

// Appends a move of the game (coordinate text) to the move history kept for take-backs.
void recordGameMove(GameTables& g, const std::string& text, bool engineMove);

}  // namespace qm

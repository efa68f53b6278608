// Start-up values of every table, and the random renumbering of pieces and slot orders that
// runs before every engine turn.
#pragma once

#include "board/board_state.h"

namespace qm {

// Zeroes every table, sets the identities and draws the position-key factors.
void startupInitialise(BoardState& e);

// Gives every piece a new random index (the same permutation for both colours) keeping all
// tables consistent, then calls shuffleSlotOrders.
void renumberPieces(BoardState& e);

// Draws new permutations for the six slot-order tables.
void shuffleSlotOrders(BoardState& e);

// Sets the occupied squares of both colours from the board; call after writing the board
// outside the maker and the take-back.
void recountOccupancy(BoardState& g);

// Whether the occupied squares and the squares by kind class agree with the board (checked
// builds test it after every move made and taken back).
bool occupancyAgrees(const GameTables& g);

// Every set-up index names itself again (no renumbering yet).
void resetPieceIdentities(GameTables& g);

// Sets the six slot-order tables to the identity.
void setIdentitySlotOrders(GameTables& g);

}  // namespace qm

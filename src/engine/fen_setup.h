// Setting up a position from FEN text, after checking that the engine can hold it.
#pragma once

#include <string>

#include "search/engine_state.h"

namespace qm {

inline constexpr const char* kStartingFen =
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

// Checks the text and, when it describes a position the engine can hold, places it into the
// tables (which resetGame has cleared) and returns true. A rejected text changes nothing.
// Rejected: a placement that is not 8 ranks of 8 squares, a colour without exactly one king,
// a pawn on rank 1 or 8, more than 16 pieces or more than 8 pawns plus extra pieces of a
// colour, and the side not to move in check. Missing trailing fields and surplus fields are
// accepted; castling letters without king and rook at home, and an en-passant square without a
// pawn that has just advanced two squares, are ignored.
bool fenAcceptable(const std::string& text);
bool setupFromFen(EngineState& e, const std::string& text);

}  // namespace qm

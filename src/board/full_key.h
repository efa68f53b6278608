// The 64-bit key of a whole position: every piece by its signed kind on its square (a king's
// kind carries its castling rights, a pawn that has just advanced two squares has a kind of its
// own, so the en-passant state is in it too) and the side to move. Equal positions have equal
// keys whatever the path to them; the search's position table is keyed by it.
#pragma once

#include <cstdint>

#include "board/board_state.h"

namespace qm {

namespace full_key_detail {

constexpr std::uint64_t splitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

struct KeyTerms {
    std::uint64_t piece[21][64] = {};  // [signed kind + 10][square bit]
    std::uint64_t blackToMove = 0;
};

constexpr KeyTerms makeKeyTerms() {
    KeyTerms t;
    std::uint64_t state = 0x51A7C0DEULL;
    for (auto& kind : t.piece)
        for (auto& square : kind) square = splitMix(state);
    for (int square = 0; square < 64; ++square) t.piece[10][square] = 0;  // no piece
    t.blackToMove = splitMix(state);
    return t;
}

}  // namespace full_key_detail

inline constexpr full_key_detail::KeyTerms kFullKeyTerms = full_key_detail::makeKeyTerms();

// Term of signed kind `kind` (-10..10) on (file, rank).
inline std::uint64_t fullKeyTerm(int kind, int file, int rank) {
    return kFullKeyTerms.piece[kind + 10][squareBit(file, rank)];
}

// The key of the position on the board with `sideToMoveNext` to move, worked out from scratch.
std::uint64_t fullKeyOf(const GameTables& g, int sideToMoveNext);

// The key after the move just made at ply p (recorded in plyRecord[p]) from the key before it,
// into fullKey[p]. `kindBefore` is the mover's kind before the move, `epFile` and `epRank` the
// square of the pawn that had just advanced two squares (0 for none).
void updateFullKey(BoardState& e, int p, std::uint64_t keyBefore, int kindBefore, int epFile,
                   int epRank);

}  // namespace qm

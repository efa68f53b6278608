// Lines and jumps of the board as sets of squares, worked out once at compile time: used where a
// question about many squares at once (the first piece along a ray, whether any enemy piece is
// within a knight's jump) is cheaper asked of the occupied squares than square by square.
#pragma once

#include <bit>

#include "board/game_state.h"
#include "board/slots.h"

namespace qm {

struct BoardGeometry {
    SquareSet ray[64][9] = {};         // [square][d]: the squares along direction d from the square
    SquareSet straightLines[64] = {};  // the four rook directions together
    SquareSet diagonalLines[64] = {};  // the four bishop directions together
    SquareSet knightJumps[64] = {};
    SquareSet kingSteps[64] = {};
    SquareSet pawnCaptures[2][64] = {};  // squares a pawn takes on: [0] Black's, [1] White's
    // [side][reach class][square]: the squares a piece could capture on from the square were
    // nothing in between (the lines of a bishop, rook or queen), by side of the mover ([0]
    // Black, [1] White); the class of an absolute kind is kReachClass[kind].
    SquareSet captureReach[2][6][64] = {};
};

constexpr BoardGeometry makeBoardGeometry() {
    BoardGeometry g;
    for (int f = 1; f <= 8; ++f) {
        for (int r = 1; r <= 8; ++r) {
            const int from = squareBit(f, r);
            for (int d = 1; d <= 8; ++d) {
                for (int tf = f + kDirFile[d], tr = r + kDirRank[d]; onBoard(tf, tr);
                     tf += kDirFile[d], tr += kDirRank[d])
                    g.ray[from][d] |= squareSet(tf, tr);
                (d <= 4 ? g.straightLines : g.diagonalLines)[from] |= g.ray[from][d];
                if (onBoard(f + kDirFile[d], r + kDirRank[d]))
                    g.kingSteps[from] |= squareSet(f + kDirFile[d], r + kDirRank[d]);
                if (onBoard(f + kJumpFile[d], r + kJumpRank[d]))
                    g.knightJumps[from] |= squareSet(f + kJumpFile[d], r + kJumpRank[d]);
            }
            for (int side = -1; side <= 1; side += 2)
                for (int df = -1; df <= 1; df += 2)
                    if (onBoard(f + df, r + side))
                        g.pawnCaptures[side > 0 ? 1 : 0][from] |= squareSet(f + df, r + side);
        }
    }
    for (int side = 0; side <= 1; ++side) {
        for (int from = 0; from < 64; ++from) {
            auto& reach = g.captureReach[side];
            reach[0][from] = g.pawnCaptures[side][from];
            reach[1][from] = g.knightJumps[from];
            reach[2][from] = g.diagonalLines[from];
            reach[3][from] = g.straightLines[from];
            reach[4][from] = g.straightLines[from] | g.diagonalLines[from];
            reach[5][from] = g.kingSteps[from];
        }
    }
    return g;
}

inline constexpr BoardGeometry kGeometry = makeBoardGeometry();

// Reach class of each absolute kind: pawns (1 and 10), knight, bishop, rook, queen, king.
inline constexpr int kReachClass[11] = {0, 0, 1, 2, 3, 4, 5, 5, 5, 5, 0};

// Direction-list number of a one-square step, by file and rank offset + 1.
inline constexpr int kDirectionOf[3][3] = {{7, 4, 8}, {3, 0, 1}, {6, 2, 5}};

// Rays that run towards higher bit numbers: up the board, or along the rank to the h-file.
inline constexpr bool kRayUp[9] = {false, true, true, false, false, true, false, false, true};

// The square (as its bit number) of the first of `occupied` along direction d from square
// `from`, or -1 when the ray meets none. Rays up the board or to the h-file run towards higher
// bit numbers.
inline int firstAlongRay(int d, int from, SquareSet occupied) {
    const SquareSet met = kGeometry.ray[from][d] & occupied;
    if (met == 0) return -1;
    return kRayUp[d] ? std::countr_zero(met) : 63 - std::countl_zero(met);
}

constexpr int fileOfBit(int bit) {
    return bit % 8 + 1;
}
constexpr int rankOfBit(int bit) {
    return bit / 8 + 1;
}

}  // namespace qm

#include "board/full_key.h"

#include <cstdio>
#include <cstdlib>

namespace qm {

std::uint64_t fullKeyOf(const GameTables& g, int sideToMoveNext) {
    std::uint64_t key = sideToMoveNext < 0 ? kFullKeyTerms.blackToMove : 0;
    for (int index = -16; index <= 16; ++index) {
        const int file = g.piecePos[index][1];
        if (index == 0 || file == 0) continue;
        key ^= fullKeyTerm(g.pieceKind[index], file, g.piecePos[index][2]);
    }
    return key;
}

void updateFullKey(BoardState& e, int p, std::uint64_t keyBefore, int kindBefore, int epFile,
                   int epRank) {
    const int s = e.sideToMove;
    const auto& R = e.plyRecord[p];
    std::uint64_t key = keyBefore ^ kFullKeyTerms.blackToMove;
    // The pawn that had just advanced two squares is an ordinary pawn now (and may be the one
    // taken, which the capture below then removes as such).
    if (epFile != 0)
        key ^= fullKeyTerm(-kPawnDoubleStep * s, epFile, epRank) ^ fullKeyTerm(-s, epFile, epRank);
    const int fromFile = R[kRecFromFile], fromRank = R[kRecFromRank];
    const int toFile = R[kRecToFile], toRank = R[kRecToRank];
    key ^=
        fullKeyTerm(kindBefore, fromFile, fromRank) ^ fullKeyTerm(R[kRecKindAfter], toFile, toRank);
    const int captured = R[kRecCaptured];
    if (captured != 0)
        key ^=
            fullKeyTerm(e.pieceKind[captured], toFile, R[kRecEnPassant] != 0 ? fromRank : toRank);
    if (R[kRecCastling] != 0) {
        const bool kingside = R[kRecCastling] == 1;
        key ^= fullKeyTerm(kRook * s, kingside ? 8 : 1, fromRank) ^
               fullKeyTerm(kRook * s, kingside ? 6 : 4, fromRank);
    }
    // Castling rights lost by a rook that moved or by a rook taken on its corner.
    if (R[kRecOwnKingKind] != 0 && absOf(kindBefore) <= kQueen) {
        const int king = e.pieceIndexOf[13] * s;
        const int kf = e.kingPos[s][1], kr = e.kingPos[s][2];
        key ^= fullKeyTerm(R[kRecOwnKingKind], kf, kr) ^ fullKeyTerm(e.pieceKind[king], kf, kr);
    }
    if (R[kRecOtherKingKind] != 0) {
        const int king = e.pieceIndexOf[13] * -s;
        const int kf = e.kingPos[-s][1], kr = e.kingPos[-s][2];
        key ^= fullKeyTerm(R[kRecOtherKingKind], kf, kr) ^ fullKeyTerm(e.pieceKind[king], kf, kr);
    }
    e.fullKey[p] = key;
#if QUILLOMAR_TABLE_CHECKS
    if (key != fullKeyOf(e, -s)) {
        std::fprintf(stderr, "position key differs from the board at ply %d\n", p);
        std::abort();
    }
#endif
}

}  // namespace qm

#include "search/engine_move.h"

#include "board/game_record.h"
#include "board/state_init.h"
#include "search/thinking_output.h"

namespace qm {

void formatEngineMove(EngineState& e) {
    const auto& m = e.pvLines[1][1];
    e.engineMoveText = "move ";
    e.engineMoveText += moveText(m[1], m[2], m[3], m[4], m[5], e.engineSide == 1);
}

void makeEngineMove(EngineState& e) {
    const int s = e.engineSide;
    const int o = -s;
    const std::string& text = e.engineMoveText;
    const auto& m = e.pvLines[1][1];

    // The opponent's pawn that had just advanced two squares becomes an ordinary pawn.
    if (e.epInfo[1] != 0) {
        int pawn = e.board[e.epInfo[1]][e.epInfo[2]];
        if (pawn != 0) e.pieceKind[pawn] = o;
        for (int k = 1; k <= 4; ++k) e.epInfo[k] = 0;
    }

    const int F1 = text[5] - 96, R1 = text[6] - '0';
    const int F2 = text[7] - 96, R2 = text[8] - '0';
    const int p = e.board[F1][R1];
    const int row = e.gamePly;
    noteGameRow(e, row);
    e.gameMoves[row][1] = F1;
    e.gameMoves[row][2] = R1;
    e.gameMoves[row][3] = F2;
    e.gameMoves[row][4] = R2;

    if (e.board[F2][R2] != 0 || absOf(e.pieceKind[p]) == kPawn)
        e.gameMoves[row][8] = 0;
    else
        e.gameMoves[row][8] = e.gameMoves[row - 1][8] + 1;

    // Ordinary capture.
    const int x = e.board[F2][R2];
    if (x != 0) {
        const int k = e.pieceKind[x];
        if (absOf(k) == kBishop)
            e.materialCount[k][bishopColumn(F2, R2)] -= 1;
        else
            e.materialCount[k][1] -= 1;
        e.piecePos[x][1] = 0;
        e.piecePos[x][2] = 0;
        if (absOf(k) == kRook) {
            const int B = s == 1 ? 8 : 1;
            int& K = e.pieceKind[e.pieceIndexOf[13] * o];
            if (R2 == B && (F2 == 1 || F2 == 8)) K = withoutCastlingRight(K, F2 == 1);
        }
    }

    // En-passant capture.
    if (absOf(e.pieceKind[p]) == kPawn && F1 != F2 && e.board[F2][R2] == 0) {
        const int victim = e.board[F2][R1];
        if (victim != 0) {
            e.materialCount[signOf(e.pieceKind[victim])][1] -= 1;
            e.piecePos[victim][1] = 0;
            e.piecePos[victim][2] = 0;
            e.board[F2][R1] = 0;
        }
    }

    // Two-square advance: the pawn is marked like any other, so that the engine can take it
    // en passant should it be asked to play the other side next.
    const bool doubleStep = absOf(e.pieceKind[p]) == kPawn && absOf(R2 - R1) == 2;
    if (doubleStep) {
        e.epInfo[1] = F2;
        e.epInfo[2] = R2;
        e.epInfo[3] = p;
        e.epInfo[4] = e.pieceKind[p];
        e.pieceKind[p] = kPawnDoubleStep * s;
    }

    // Castling moves the rook too.
    if (absOf(p) == e.pieceIndexOf[13] && absOf(F2 - F1) == 2) {
        const int rookFrom = F2 > F1 ? 8 : 1;
        const int rookTo = F2 > F1 ? 6 : 4;
        const int q = e.board[rookFrom][R1];
        e.piecePos[q][1] = rookTo;
        e.piecePos[q][2] = R1;
        e.board[rookTo][R1] = q;
        e.board[rookFrom][R1] = 0;
    }

    // Promotion.
    if (text.size() == 10) {
        int newKind = 0;
        switch (text[9]) {
            case 'q':
            case 'Q':
                newKind = kQueen;
                e.pieceSlots[p] = kQueenSlots;
                break;
            case 'r':
            case 'R':
                newKind = kRook;
                e.pieceSlots[p] = kRookSlots;
                break;
            case 'b':
            case 'B':
                newKind = kBishop;
                e.pieceSlots[p] = kBishopSlots;
                break;
            case 'n':
            case 'N':
                newKind = kKnight;
                e.pieceSlots[p] = kKnightSlots;
                break;
            default:
                break;
        }
        if (newKind != 0) {
            e.pieceKind[p] = newKind * s;
            e.materialCount[s][1] -= 1;
            if (newKind == kBishop)
                e.materialCount[newKind * s][bishopColumn(F2, R2)] += 1;
            else
                e.materialCount[newKind * s][1] += 1;
        }
    }

    if (p == e.pieceIndexOf[13] * s) {
        e.kingPos[s][1] = F2;
        e.kingPos[s][2] = R2;
    }
    if (absOf(p) == e.pieceIndexOf[13]) e.pieceKind[p] = kKingNone * signOf(p);

    if (absOf(e.pieceKind[p]) == kRook) {
        const int B = s == 1 ? 1 : 8;
        int& K = e.pieceKind[e.pieceIndexOf[13] * s];
        if (R1 == B && (F1 == 1 || F1 == 8)) K = withoutCastlingRight(K, F1 == 1);
    }

    e.piecePos[p][1] = F2;
    e.piecePos[p][2] = R2;
    e.board[F2][R2] = p;
    e.board[F1][R1] = 0;
    recountOccupancy(e);

    const double removed = keyTerm(e, m[8], m[1], m[2]);
    const double added = keyTerm(e, e.pieceKind[p], m[3], m[4]);
    e.positionKey[row][1] = e.positionKey[row - 1][1] - removed + added;
    e.positionKey[row][2] = keyDigest(e.positionKey[row][1]);
    e.positionKey[row][3] = 0.0;

    noteGameMove(e, row, s, doubleStep, p, F1, R1, F2, R2);
}

}  // namespace qm

#include "engine/opponent_move.h"

#include "board/game_record.h"
#include "board/legal_moves.h"
#include "board/state_init.h"

namespace qm {

int promotionLetterKind(char c) {
    switch (c) {
        case 'q':
        case 'Q':
            return kQueen;
        case 'r':
        case 'R':
            return kRook;
        case 'b':
        case 'B':
            return kBishop;
        case 'n':
        case 'N':
            return kKnight;
        default:
            return 0;
    }
}

bool opponentMoveLegal(EngineState& e, const std::string& text) {
    if (!e.positionHeld) return false;
    if (text.size() != 4 && text.size() != 5) return false;
    if (text[0] < 'a' || text[0] > 'h' || text[1] < '1' || text[1] > '8' || text[2] < 'a' ||
        text[2] > 'h' || text[3] < '1' || text[3] > '8')
        return false;
    const int promotion = text.size() == 5 ? promotionLetterKind(text[4]) : 0;
    if (text.size() == 5 && promotion == 0) return false;
    const int ff = text[0] - 96, fr = text[1] - '0', tf = text[2] - 96, tr = text[3] - '0';
    const int s = e.sideToMove;
    if (e.board[ff][fr] * s <= 0) return false;  // no piece of the side to move there
    if (e.board[tf][tr] * s > 0) return false;   // own piece on the target

    LegalMoveList moves;
    listLegalMoves(e, moves);
    for (int n = 1; n <= moves.count; ++n) {
        const auto& m = moves.entry[n];
        if (m[1] == ff && m[2] == fr && m[3] == tf && m[4] == tr && m[5] == promotion) return true;
    }
    return false;
}

void acceptOpponentMove(EngineState& e, const std::string& text) {
    ensurePlyCapacity(e);
    recordGameMove(e, text, false);
    e.pendingMove = text;
    e.gamePly += 1;
}

void applyOpponentMove(EngineState& e) {
    const std::string& text = e.pendingMove;
    const int g = e.gamePly - 1;

    // En passant expires.
    if (e.epInfo[1] != 0) {
        int pawn = e.board[e.epInfo[1]][e.epInfo[2]];
        if (pawn != 0) e.pieceKind[pawn] = signOf(e.pieceKind[pawn]);
        for (int k = 1; k <= 4; ++k) e.epInfo[k] = 0;
    }

    const int ff = text[0] - 96, fr = text[1] - '0', tf = text[2] - 96, tr = text[3] - '0';
    const int P = e.board[ff][fr];
    const int m = signOf(P);
    const int enemy = -m;
    const int k = e.pieceKind[P];

    noteGameRow(e, g);
    e.gameMoves[g][1] = ff;
    e.gameMoves[g][2] = fr;
    e.gameMoves[g][3] = tf;
    e.gameMoves[g][4] = tr;
    e.gameMoves[g][5] = text.size() == 5 && text[4] >= '0' && text[4] <= '9' ? text[4] - '0' : 0;

    const int target = e.board[tf][tr];
    e.gameMoves[g][8] = (absOf(k) == kPawn || target != 0) ? 0 : e.gameMoves[g - 1][8] + 1;

    // Capture.
    if (target != 0) {
        const int t = e.pieceKind[target];
        if (absOf(t) == kBishop)
            e.materialCount[t][bishopColumn(tf, tr)] -= 1;
        else
            e.materialCount[t][1] -= 1;
        e.piecePos[target][1] = 0;
        e.piecePos[target][2] = 0;
        int& K = e.pieceKind[e.pieceIndexOf[13] * enemy];
        const int home = enemy > 0 ? 1 : 8;
        if (absOf(t) == kRook && tr == home && (tf == 1 || tf == 8))
            K = withoutCastlingRight(K, tf == 1);
    }

    // En-passant capture.
    if (absOf(k) == kPawn && tf != ff && target == 0) {
        const int Y = e.board[tf][fr];
        if (Y != 0) {
            e.materialCount[e.pieceKind[Y]][1] -= 1;
            e.piecePos[Y][1] = 0;
            e.piecePos[Y][2] = 0;
            e.board[tf][fr] = 0;
        }
    }

    // Two-square advance.
    const bool doubleStep = absOf(k) == kPawn && absOf(tr - fr) == 2;
    if (doubleStep) {
        e.epInfo[1] = tf;
        e.epInfo[2] = tr;
        e.epInfo[3] = P;
        e.epInfo[4] = k;
        e.pieceKind[P] = m * kPawnDoubleStep;
    }

    // Castling moves the rook.
    const bool king = absOf(P) == e.pieceIndexOf[13];
    if (king && absOf(tf - ff) == 2) {
        const int rookFrom = tf > ff ? 8 : 1;
        const int rookTo = tf > ff ? 6 : 4;
        const int rook = e.board[rookFrom][fr];
        e.piecePos[rook][1] = rookTo;
        e.piecePos[rook][2] = fr;
        e.board[rookTo][fr] = rook;
        e.board[rookFrom][fr] = 0;
    }

    // Promotion.
    if (text.size() == 5) {
        const int a = promotionLetterKind(text[4]);
        if (a != 0) {
            e.pieceSlots[P] = a == kQueen    ? kQueenSlots
                              : a == kKnight ? kKnightSlots
                                             : kRookSlots;  // rook and bishop: 28
            e.pieceKind[P] = m * a;
            e.materialCount[m][1] -= 1;
            e.materialCount[m * a][a == kBishop ? bishopColumn(tf, tr) : 1] += 1;
        }
    }

    if (king) {
        e.kingPos[m][1] = tf;
        e.kingPos[m][2] = tr;
        e.pieceKind[P] = m * kKingNone;
    }

    // A rook leaving its home corner.
    if (absOf(e.pieceKind[P]) == kRook) {
        int& K = e.pieceKind[e.pieceIndexOf[13] * m];
        const int home = m > 0 ? 1 : 8;
        if (fr == home && (ff == 1 || ff == 8)) K = withoutCastlingRight(K, ff == 1);
    }

    e.piecePos[P][1] = tf;
    e.piecePos[P][2] = tr;
    e.board[tf][tr] = P;
    e.board[ff][fr] = 0;
    recountOccupancy(e);

    // Position key: only the moving piece's terms.
    const int kAfter = e.pieceKind[P];
    auto& key = e.positionKey[g];
    key[1] = e.positionKey[g - 1][1] - keyTerm(e, k, ff, fr) + keyTerm(e, kAfter, tf, tr);
    key[2] = keyDigest(key[1]);
    key[3] = 0.0;
    if (doubleStep) {
        for (int f : {tf - 1, tf + 1}) {
            if (f < 1 || f > 8) continue;
            int other = e.board[f][tr];
            if (other != 0 && e.pieceKind[other] == enemy * kPawn) key[3] = 1.0;
        }
    }

    noteGameMove(e, g, m, doubleStep, P, ff, fr, tf, tr);
}

}  // namespace qm

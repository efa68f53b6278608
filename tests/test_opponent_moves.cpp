// The opponent's moves through "usermove": castling, en passant, promotion, castling rights,
// the half-move clock, the position key, whole games of both colours, and the texts that are
// refused without changing anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "board/game_record.h"
#include "board/legal_moves.h"
#include "search/thinking_output.h"
#include "support/harness.h"

namespace qm::test {
namespace {

int at(const EngineState& e, const char* square) {
    return e.board[square[0] - 'a' + 1][square[1] - '0'];
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// A protocol session in force mode on a given position.
struct Game {
    Harness h{31, 0.002};
    explicit Game(const std::string& fen) {
        h.handshake();
        auto out = h.send({"setboard " + fen, "force"});
        EXPECT_TRUE(out.empty()) << fen << ": " << out.front();
        EXPECT_TRUE(h.engine().positionHeld) << fen;
    }
    EngineState& e() { return h.engine(); }

    // Plays a move that must be accepted; checks the invariants afterwards.
    void play(const std::string& text) {
        const int ply = e().gamePly;
        auto out = h.send({"usermove " + text});
        ASSERT_TRUE(out.empty()) << text << " was answered: " << out.front();
        ASSERT_EQ(e().gamePly, ply + 1) << text;
        ASSERT_EQ(invariantViolations(e()), "") << "after " << text << "\n" << boardText(e());
    }
    void playAll(const std::string& moves) {
        for (const auto& m : words(moves)) {
            play(m);
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
    // Row of gameMoves / positionKey of the last move.
    int lastRow() { return e().gamePly - 1; }
};

int legalCount(EngineState& e) {
    LegalMoveList list;
    listLegalMoves(e, list);
    return list.count;
}

double boardKey(const EngineState& e) {
    double sum = 0.0;
    for (int f = 1; f <= 8; ++f)
        for (int r = 1; r <= 8; ++r)
            if (e.board[f][r] != 0) sum += keyTerm(e, e.pieceKind[e.board[f][r]], f, r);
    return sum;
}

// ---------------------------------------------------------------------------------------------
// Castling

TEST(OpponentMoves, CastlingOnBothSidesForBothColours) {
    const char* fen = "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1";
    {
        Game g(fen);
        EngineState& e = g.e();
        g.play("e1g1");
        EXPECT_EQ(at(e, "g1"), 13);
        EXPECT_EQ(at(e, "f1"), 16);
        EXPECT_EQ(at(e, "e1"), 0);
        EXPECT_EQ(at(e, "h1"), 0);
        EXPECT_EQ(e.piecePos[16][1], 6);
        EXPECT_EQ(e.piecePos[16][2], 1);
        EXPECT_EQ(e.pieceKind[13], 9);
        EXPECT_EQ(e.kingPos[1][1], 7);
        EXPECT_EQ(e.kingPos[1][2], 1);
        EXPECT_EQ(e.pieceKind[-13], -6);
        EXPECT_EQ(e.gameMoves[1][1], 5);
        EXPECT_EQ(e.gameMoves[1][3], 7);
        EXPECT_EQ(e.gameMoves[1][8], 1);
        g.play("e8c8");
        EXPECT_EQ(at(e, "c8"), -13);
        EXPECT_EQ(at(e, "d8"), -9);
        EXPECT_EQ(at(e, "a8"), 0);
        EXPECT_EQ(at(e, "b8"), 0);
        EXPECT_EQ(at(e, "e8"), 0);
        EXPECT_EQ(e.pieceKind[-13], -9);
        EXPECT_EQ(e.kingPos[-1][1], 3);
        EXPECT_EQ(e.kingPos[-1][2], 8);
        EXPECT_EQ(e.pieceKind[13], 9);
    }
    {
        Game g("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
        EngineState& e = g.e();
        g.play("e1c1");
        EXPECT_EQ(at(e, "c1"), 13);
        EXPECT_EQ(at(e, "d1"), 9);
        EXPECT_EQ(at(e, "a1"), 0);
        EXPECT_EQ(e.pieceKind[13], 9);
        EXPECT_EQ(e.kingPos[1][1], 3);
        g.play("e8g8");
        EXPECT_EQ(at(e, "g8"), -13);
        EXPECT_EQ(at(e, "f8"), -16);
        EXPECT_EQ(at(e, "h8"), 0);
        EXPECT_EQ(e.pieceKind[-13], -9);
        EXPECT_EQ(e.kingPos[-1][1], 7);
        // A castled king cannot castle again, even back on its home square.
        g.playAll("c1d2 g8g7 d2e1 g7g8");
        EXPECT_EQ(e.pieceKind[13], 9);
        EXPECT_EQ(at(e, "h1"), 16);
        auto out = g.h.send({"usermove e1g1"});
        EXPECT_EQ(out, (std::vector<std::string>{"Illegal move: e1g1"}));
    }
}

TEST(OpponentMoves, KingAndRookMovesTakeCastlingRights) {
    const char* fen = "r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq - 0 1";
    {
        Game g(fen);
        EngineState& e = g.e();
        g.play("a1b1");
        EXPECT_EQ(e.pieceKind[13], 7);
        g.play("h8g8");
        EXPECT_EQ(e.pieceKind[-13], -8);
        // Back to the corner: the right stays lost.
        g.play("b1a1");
        EXPECT_EQ(e.pieceKind[13], 7);
        g.play("a8b8");
        EXPECT_EQ(e.pieceKind[-13], -9);
        g.play("h1g1");
        EXPECT_EQ(e.pieceKind[13], 9);
    }
    {
        Game g(fen);
        EngineState& e = g.e();
        g.play("h1g1");
        EXPECT_EQ(e.pieceKind[13], 8);
        g.play("e8d8");
        EXPECT_EQ(e.pieceKind[-13], -9);
        EXPECT_EQ(e.kingPos[-1][1], 4);
        g.play("e1f1");
        EXPECT_EQ(e.pieceKind[13], 9);
        g.play("d8e8");
        EXPECT_EQ(e.pieceKind[-13], -9);
    }
}

TEST(OpponentMoves, CapturedCornerRooksTakeTheirSidesRight) {
    const char* open = "r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1";
    {
        Game g(open);
        EngineState& e = g.e();
        g.play("h1h8");
        EXPECT_EQ(e.pieceKind[13], 8) << "the h1 rook moved";
        EXPECT_EQ(e.pieceKind[-13], -8) << "the h8 rook was taken";
        EXPECT_EQ(e.materialCount[-4][1], 1);
        EXPECT_EQ(e.piecePos[-16][1], 0);
        EXPECT_EQ(e.piecePos[-16][2], 0);
        EXPECT_EQ(e.gameMoves[1][8], 0);
    }
    {
        // The b8 knight keeps the rook taking on a8 from giving check.
        Game g("rn2k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
        EngineState& e = g.e();
        g.play("a1a8");
        EXPECT_EQ(e.pieceKind[13], 7);
        EXPECT_EQ(e.pieceKind[-13], -7);
        g.play("h8h1");
        EXPECT_EQ(e.pieceKind[-13], -9);
        EXPECT_EQ(e.pieceKind[13], 9);
        EXPECT_EQ(e.materialCount[4][1], 1);
        EXPECT_EQ(e.materialCount[-4][1], 1);
    }
    {
        // Black takes on a1 (the b1 knight blocks the check); a knight takes on h8; a rook
        // taken away from its corner takes nothing.
        Game g("r3k2r/8/6N1/7R/8/8/8/RN2K2R b KQkq - 0 1");
        EngineState& e = g.e();
        g.play("a8a1");
        EXPECT_EQ(e.pieceKind[13], 7);
        EXPECT_EQ(e.pieceKind[-13], -7);
        g.play("g6h8");
        EXPECT_EQ(e.pieceKind[-13], -9);
        EXPECT_EQ(e.pieceKind[13], 7);
        g.play("a1a5");
        g.play("h5a5");
        EXPECT_EQ(e.pieceKind[13], 7);
        EXPECT_EQ(e.pieceKind[-13], -9);
    }
    {
        // A king with only the kingside right loses it with the h-rook.
        Game g("r3k2r/8/8/8/8/8/8/R3K2R w KQk - 0 1");
        EXPECT_EQ(g.e().pieceKind[-13], -7);
        g.play("h1h8");
        EXPECT_EQ(g.e().pieceKind[-13], -9);
    }
}

// ---------------------------------------------------------------------------------------------
// En passant

TEST(OpponentMoves, EnPassantCapturesOfBothColours) {
    {
        Game g("4k3/3p4/8/4P3/8/8/8/4K3 b - - 0 1");
        EngineState& e = g.e();
        const int black = at(e, "d7");
        const int white = at(e, "e5");
        g.play("d7d5");
        EXPECT_EQ(e.pieceKind[black], -10);
        EXPECT_EQ(e.epInfo[1], 4);
        EXPECT_EQ(e.epInfo[2], 5);
        EXPECT_EQ(e.epInfo[3], black);
        EXPECT_EQ(e.epInfo[4], -1);
        EXPECT_EQ(e.positionKey[g.lastRow()][3], 1.0) << "an enemy pawn stands beside";
        g.play("e5d6");
        EXPECT_EQ(at(e, "d5"), 0);
        EXPECT_EQ(at(e, "d6"), white);
        EXPECT_EQ(at(e, "e5"), 0);
        EXPECT_EQ(e.piecePos[black][1], 0);
        EXPECT_EQ(e.piecePos[black][2], 0);
        EXPECT_EQ(e.materialCount[-1][1], 0);
        EXPECT_EQ(e.materialCount[1][1], 1);
        EXPECT_EQ(e.gameMoves[g.lastRow()][8], 0);
        EXPECT_EQ(e.epInfo[1], 0);
        EXPECT_EQ(e.pieceKind[white], 1);
    }
    {
        Game g("4k3/8/8/8/4p3/8/5P2/4K3 w - - 7 30");
        EngineState& e = g.e();
        const int white = at(e, "f2");
        g.play("f2f4");
        EXPECT_EQ(e.pieceKind[white], 10);
        EXPECT_EQ(e.gameMoves[g.lastRow()][8], 0);
        g.play("e4f3");
        EXPECT_EQ(at(e, "f4"), 0);
        EXPECT_NE(at(e, "f3"), 0);
        EXPECT_EQ(e.materialCount[1][1], 0);
        EXPECT_EQ(e.piecePos[white][1], 0);
    }
}

TEST(OpponentMoves, EnPassantRightLastsOnePly) {
    Game g("4k3/3p4/8/4P3/8/8/8/4K3 b - - 0 1");
    EngineState& e = g.e();
    const int black = at(e, "d7");
    g.play("d7d5");
    g.play("e1e2");
    // The mark is gone once the other side has moved.
    EXPECT_EQ(e.pieceKind[black], -1);
    EXPECT_EQ(e.epInfo[1], 0);
    g.play("e8e7");
    auto out = g.h.send({"usermove e5d6"});
    EXPECT_EQ(out, (std::vector<std::string>{"Illegal move: e5d6"}));
    // A double step with no enemy pawn beside it flags nothing in the key row.
    Game h("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    h.play("a2a4");
    EXPECT_EQ(h.e().positionKey[h.lastRow()][3], 0.0);
    EXPECT_EQ(h.e().epInfo[1], 1);
}

// ---------------------------------------------------------------------------------------------
// Promotion

TEST(OpponentMoves, PromotionToEveryKindInEitherCase) {
    struct Case {
        const char* fen;
        const char* move;
        int kind;  // signed
        int slots;
        int column;
    };
    const std::vector<Case> cases = {
        {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7e8q", 5, 56, 1},
        {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7e8Q", 5, 56, 1},
        {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7e8r", 4, 28, 1},
        {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7e8R", 4, 28, 1},
        {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7e8b", 3, 28, 1},  // e8 is light
        {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7e8B", 3, 28, 1},
        {"k7/3P4/8/8/8/8/8/4K3 w - - 0 1", "d7d8b", 3, 28, 2},  // d8 is dark
        {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7e8n", 2, 8, 1},
        {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1", "e7e8N", 2, 8, 1},
        {"4k3/8/8/8/8/8/3p4/K7 b - - 0 1", "d2d1q", -5, 56, 1},
        {"4k3/8/8/8/8/8/3p4/K7 b - - 0 1", "d2d1R", -4, 28, 1},
        {"4k3/8/8/8/8/8/3p4/K7 b - - 0 1", "d2d1b", -3, 28, 1},  // d1 is light
        {"4k3/8/8/8/8/8/4p3/K7 b - - 0 1", "e2e1B", -3, 28, 2},  // e1 is dark
        {"4k3/8/8/8/8/8/3p4/K7 b - - 0 1", "d2d1N", -2, 8, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.move);
        Game g(c.fen);
        EngineState& e = g.e();
        const int s = c.kind > 0 ? 1 : -1;
        const int pawn = e.board[c.move[0] - 'a' + 1][c.move[1] - '0'];
        ASSERT_EQ(e.materialCount[s][1], 1);
        g.play(c.move);
        EXPECT_EQ(e.board[c.move[2] - 'a' + 1][c.move[3] - '0'], pawn);
        EXPECT_EQ(e.pieceKind[pawn], c.kind);
        EXPECT_EQ(e.pieceSlots[pawn], c.slots);
        EXPECT_EQ(e.materialCount[s][1], 0);
        EXPECT_EQ(e.materialCount[c.kind][c.column], 1);
        EXPECT_EQ(e.materialCount[c.kind][3 - c.column], 0);
        EXPECT_EQ(e.gameMoves[g.lastRow()][5], 0) << "a promotion letter records 0";
        EXPECT_EQ(e.gameMoves[g.lastRow()][8], 0);
        // The new piece moves as its kind.
        EXPECT_GT(legalCount(e), 0);
    }
}

TEST(OpponentMoves, CapturingPromotions) {
    {
        Game g("k2r1r2/4P3/8/8/8/8/8/4K3 w - - 0 1");
        EngineState& e = g.e();
        const int rook = at(e, "d8");
        g.play("e7d8q");
        EXPECT_EQ(e.pieceKind[at(e, "d8")], 5);
        EXPECT_EQ(e.materialCount[-4][1], 1);
        EXPECT_EQ(e.materialCount[5][1], 1);
        EXPECT_EQ(e.piecePos[rook][1], 0);
    }
    {
        // Taking the a8 rook takes Black's queenside right; to a dark-square bishop.
        Game g("r3k2r/1P6/8/8/8/8/8/4K3 w kq - 0 1");
        EngineState& e = g.e();
        g.play("b7a8b");
        EXPECT_EQ(e.pieceKind[-13], -7);
        EXPECT_EQ(e.pieceKind[at(e, "a8")], 3);
        EXPECT_EQ(e.materialCount[3][1], 1) << "a8 is a light square";
        g.play("h8h7");
        EXPECT_EQ(e.pieceKind[-13], -9);
    }
    {
        Game g("4k3/8/8/8/8/8/p7/1N2K2R b K - 0 1");
        EngineState& e = g.e();
        g.play("a2b1n");
        EXPECT_EQ(e.materialCount[2][1], 0);
        EXPECT_EQ(e.materialCount[-2][1], 1);
        EXPECT_EQ(e.pieceKind[13], 7) << "a knight taken on b1 takes no right";
    }
}

// ---------------------------------------------------------------------------------------------
// Half-move clock and position key

TEST(OpponentMoves, HalfMoveClockCountsQuietPlies) {
    Game g("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EngineState& e = g.e();
    const std::vector<std::pair<std::string, int>> plies = {
        {"g1f3", 1}, {"g8f6", 2}, {"f3g1", 3}, {"e7e5", 0}, {"b1c3", 1}, {"f8b4", 2},
        {"c3d5", 3}, {"f6d5", 0}, {"e2e4", 0}, {"b4d2", 0}, {"e1d2", 0}, {"e8g8", 1},
        {"d2e1", 2}, {"f8e8", 3}, {"e4d5", 0}, {"d7d6", 0}};
    for (const auto& [move, clock] : plies) {
        g.play(move);
        EXPECT_EQ(e.gameMoves[g.lastRow()][8], clock) << move;
        const auto& row = e.gameMoves[g.lastRow()];
        EXPECT_EQ(row[1], move[0] - 'a' + 1);
        EXPECT_EQ(row[2], move[1] - '0');
        EXPECT_EQ(row[3], move[2] - 'a' + 1);
        EXPECT_EQ(row[4], move[3] - '0');
    }
}

TEST(OpponentMoves, PositionKeyFollowsTheMovingPiece) {
    Game g("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EngineState& e = g.e();
    const double start = e.positionKey[0][1];
    // Without captures, castling or double steps the key stays the sum over the board.
    for (const char* m : {"g1f3", "g8f6", "b1c3", "b8c6", "e2e3", "d7d6", "f1d3", "c8g4"}) {
        const double before = e.positionKey[g.lastRow()][1];
        g.play(m);
        const auto& key = e.positionKey[g.lastRow()];
        EXPECT_NE(key[1], before) << m;
        EXPECT_NEAR(key[1], boardKey(e), 1e-9 * std::abs(key[1])) << m;
        EXPECT_EQ(key[2], std::floor(1000000.0 * key[1])) << m;
        EXPECT_EQ(key[3], 0.0) << m;
    }
    // The same placement reached again gets the same key (up to rounding).
    Game h("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    for (const char* m : {"g1f3", "g8f6", "f3g1", "f6g8"}) h.play(m);
    EXPECT_NEAR(h.e().positionKey[4][1], start, 1e-9 * std::abs(start));
    EXPECT_NE(h.e().positionKey[2][1], h.e().positionKey[0][1]);

    // A capture: the taken piece's term stays; only the mover's terms change.
    g.play("d3h7");
    const int row = g.lastRow();
    const double expected = e.positionKey[row - 1][1] - keyTerm(e, 3, 4, 3) + keyTerm(e, 3, 8, 7);
    EXPECT_NEAR(e.positionKey[row][1], expected, 1e-9 * std::abs(expected));
    // A promotion: the new kind's term on the to-square.
    Game p("k7/4P3/8/8/8/8/8/4K3 w - - 0 1");
    const double k0 = p.e().positionKey[0][1];
    p.play("e7e8n");
    EXPECT_NEAR(p.e().positionKey[1][1], k0 - keyTerm(p.e(), 1, 5, 7) + keyTerm(p.e(), 2, 5, 8),
                1e-9 * std::abs(k0));
}

// ---------------------------------------------------------------------------------------------
// Whole games in force mode. After every move the number of legal moves is checked against
// counts from an independent move generator, and the final position against its FEN.

struct ScriptedGame {
    const char* start;
    const char* moves;
    std::vector<int> legalCounts;  // before the first move and after every move
    const char* finalPlacement;
    int finalSide;
    int finalWhiteKing, finalBlackKing;
    int finalHalfMoves;
    int finalPly;
};

const std::vector<ScriptedGame>& scriptedGames() {
    static const std::vector<ScriptedGame> games = {
        {"r3k2r/pppp1ppp/8/8/8/8/PPPP1PPP/R3K2R w KQkq - 0 1",
         "a2a4 h7h5 a4a5 b7b5 a5b6 h5h4 g2g4 h4g3 b6b7 g3g2 b7a8q e8e7 a8a7 g2h1n e1c1 h1g3 a7c7 "
         "h8h2 c1b1 g3e2 c7d7 e7f6 d7d4 f6g6 d4c5 h2h8 c2c3 h8h7 c5c4 f7f5 d1h1 e2c3 c4c3 h7h8 "
         "h1h6 g6f7 c3e5 g7g6 e5h8 g6g5 b2b3 f7e7 h6d6 e7f7 h8a1 g5g4 a1e5 f5f4 d6d3 g4g3 b1a2 "
         "f7f8 e5d6 f8f7 d3d5 g3g2 d2d3 g2g1r a2b2 g1e1 d5h5 e1e3 d6d4 e3h3 b2c1 f7e8 h5h8 h3h8 "
         "c1b1 h8h3 d4d5 h3e3 f2f3 e3e5 d5d7 e8d7 d3d4 e5f5 b3b4 d7c6 b1a1 f5a5",
         {24, 24, 25, 24, 27, 25, 30, 27, 31, 28, 32, 1,  38, 35, 35, 29, 31, 27, 30, 23, 32,
          3,  34, 6,  34, 20, 36, 25, 35, 20, 35, 16, 6,  10, 42, 5,  44, 15, 41, 4,  36, 3,
          38, 4,  43, 6,  35, 4,  43, 5,  42, 6,  41, 4,  33, 6,  35, 8,  31, 18, 33, 18, 45,
          18, 39, 15, 39, 3,  27, 13, 27, 14, 31, 10, 23, 2,  7,  22, 7,  18, 7,  17, 3},
         "8/8/2k5/r7/1P1P1p2/5P2/8/K7",
         1,
         9,
         -9,
         3,
         83},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
         "e2e3 g8f6 d1g4 c7c6 g1e2 d7d6 g4h4 c8d7 h4e4 f6h5 e4a4 d8c7 h2h4 b7b6 a4b5 c6c5 b5d3 "
         "h5f4 a2a3 d7c6 a1a2 f4g2 f1g2 e8d7 e1g1 c5c4 b2b3 d7e8 d3c3 c6b7 g2h1 c7d7 f2f3 b8c6 "
         "c3a5 d7f5 a5a7 f5d5 d2d4 a8b8 b1d2 c6e5 a7b6 d5c6 f1e1 d6d5 b6c6 e5c6 h4h5 b8d8 g1h2 "
         "c6b4 e1g1 h8g8 g1g5 b7c8 h2g2 c8h3 g2g3 e8d7 g5f5 g7g5 d2f1 b4d3 f5f4 d7c6 f4e4 f8g7 "
         "e4g4 f7f6 h1g2 h3g4 e2c3 d8b8 a2a1 d3c5 c3d1 g8d8 g3g4 b8c8 b3b4 g7f8 g4h3 c8c7 f3f4 "
         "c5e4 g2e4 c7d7 f1g3 d8b8 a1b1 c4c3 e4g2 f6f5 g3h1 c6b6 h3h2 b6b5 b1b3 b8b6 h2g3 f8h6 "
         "d1c3 b5c4 c3a2 g5g4 c1b2 d7a7 g3f2 b6b4 g2f3 a7a5 f3d1 a5a7 b2a1 a7a4 a1c3 c4b5 f2e2 "
         "g4g3 b3b2 b5c4 a2c1 b4b7 e2e1 h6f8 c3a5 e7e6 a5b6 a4b4 b6d8 b7d7 c1e2 d7a7 d8g5 a7a3 "
         "g5h6 a3a4 b2b1 g3g2 e1d2 g2g1r b1b3 a4a3 c2c3 g1g6 e2c1 b4b6 b3b5 a3a4 d2e2 f8h6 b5b6 "
         "a4b4 c3b4 c4c3 e2f2 h6g5 h5h6 c3d2",
         {20, 20, 30, 22, 45, 23, 41, 31, 37, 28, 40, 27, 37, 28, 36, 26, 35, 31, 36, 37, 34,
          38, 2,  30, 41, 29, 34, 31, 35, 30, 36, 32, 34, 33, 31, 34, 35, 46, 31, 39, 30, 37,
          31, 32, 35, 33, 35, 4,  24, 24, 24, 25, 26, 25, 30, 24, 31, 24, 5,  27, 29, 28, 28,
          31, 26, 37, 24, 41, 25, 40, 24, 35, 22, 38, 25, 43, 27, 45, 23, 37, 23, 31, 23, 28,
          22, 32, 21, 25, 28, 23, 28, 28, 28, 26, 24, 25, 21, 23, 22, 23, 22, 25, 21, 3,  26,
          22, 20, 22, 20, 26, 24, 23, 26, 21, 23, 22, 23, 18, 22, 18, 19, 19, 16, 20, 21, 23,
          24, 18, 28, 25, 26, 24, 28, 24, 24, 27, 20, 26, 17, 22, 18, 29, 17, 30, 18, 32, 19,
          30, 23, 32, 28, 33, 23, 22, 24, 14, 22, 16, 30, 14, 27},
         "8/7p/1R2p1rP/3p1pb1/1P1P1P2/4P3/3k1K2/2NB3N",
         1,
         9,
         -9,
         1,
         161},
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
         "d5d6 e8c8 e1g1 a6d3 e5g4 h8g8 c3d5 c8b8 c2c3 g8h8 f3f6 c7d6 e2f3 b8a8 a1b1 h8e8 f3d1 "
         "e8g8 f1e1 d3e4 f2f3 e6e5 d2c1 e7e8 c1e3 e4d3 e3b6 a8b7 e1e3 d3c2 f6d6 c2d1 d5c7 h3g2 "
         "b2b3 f7f5 b6a7 d1c2 g4e5 g8f8 e3d3 d8a8 d3d2 e8c8 b1d1 a8b8 d6f6 f8d8 f6g6 g7h6 g6f6 "
         "d8g8 a7d4 h6f4 d1f1 g2f1n g1h1 c8e8 c7a6 e8c8 f6b6 b7a8 b6b5 g8d8 d4a7 c8a6 b5e2 a6h6 "
         "a7f2 b8b7 e5g6 h6h7 f2h4 d8f8 d2d3 f4h6 e2e3 a8b8 e3c5 h7g7 c5e7 b8c7 e7e8 g7c3 e8c8 "
         "c7b6 c8b8 f8c8 g6f4 c8b8 d3d6 c3c6 h1g1 b6b5 h4f2 c2b3 h2h4 c6b6 d6d3 f1h2 f4h5 b6c6 "
         "h5g7 c6f6 a2a4 b5a6 d3b3 h6e3 f2e3 b8g8 g1h1 h2f1 e3c5 d7d5 a4a5 f6a1 c5b6 b7f7 b6f2 "
         "f5f4",
         {48, 41, 49, 40, 47, 44, 42, 39, 49, 44, 45, 44, 49, 41, 45, 40, 44, 33, 46, 36, 48,
          34, 48, 33, 48, 29, 47, 30, 50, 34, 45, 32, 46, 29, 47, 26, 47, 24, 51, 25, 52, 24,
          51, 29, 56, 25, 54, 25, 56, 22, 59, 23, 57, 30, 51, 34, 9,  36, 47, 42, 44, 1,  42,
          43, 45, 34, 47, 48, 40, 44, 40, 43, 43, 44, 41, 46, 40, 36, 44, 36, 46, 42, 41, 38,
          40, 3,  38, 47, 35, 45, 27, 6,  31, 29, 33, 36, 35, 44, 31, 47, 27, 50, 27, 51, 28,
          7,  26, 41, 18, 36, 23, 38, 26, 39, 26, 43, 25, 37, 23, 39, 22},
         "6r1/5rN1/k7/P2p4/1p3p1P/1R3P2/5B2/q4n1K",
         1,
         9,
         -9,
         0,
         121},
    };
    return games;
}

TEST(OpponentMoves, LongForceModeGamesKeepEveryTableRight) {
    for (const ScriptedGame& sg : scriptedGames()) {
        SCOPED_TRACE(sg.start);
        Game g(sg.start);
        EngineState& e = g.e();
        const auto moves = words(sg.moves);
        ASSERT_EQ(sg.legalCounts.size(), moves.size() + 1);
        ASSERT_EQ(legalCount(e), sg.legalCounts[0]);
        for (std::size_t i = 0; i < moves.size(); ++i) {
            const int mover = e.sideToMove;
            g.play(moves[i]);
            ASSERT_FALSE(HasFatalFailure()) << "move " << i;
            ASSERT_EQ(e.sideToMove, -mover);
            ASSERT_EQ(legalCount(e), sg.legalCounts[i + 1])
                << "after move " << i << " " << moves[i] << "\n"
                << boardText(e);
            EXPECT_EQ(e.kingPos[mover][1], e.piecePos[e.pieceIndexOf[13] * mover][1]);
        }
        EXPECT_EQ(boardText(e), sg.finalPlacement);
        EXPECT_EQ(e.sideToMove, sg.finalSide);
        EXPECT_EQ(e.pieceKind[13], sg.finalWhiteKing);
        EXPECT_EQ(e.pieceKind[-13], sg.finalBlackKing);
        EXPECT_EQ(e.gameMoves[e.gamePly - 1][8], sg.finalHalfMoves);
        EXPECT_EQ(e.gamePly, sg.finalPly);
    }
}

// The same games, but the engine answers every move outside force mode in between: the
// opponent's moves still land on the right pieces after the engine renumbered them.
TEST(OpponentMoves, MovesAfterEngineTurnsFindTheirPieces) {
    for (const ScriptedGame& sg : scriptedGames()) {
        SCOPED_TRACE(sg.start);
        Game g(sg.start);
        EngineState& e = g.e();
        const auto moves = words(sg.moves);
        for (std::size_t i = 0; i < 12 && i < moves.size(); ++i) {
            // The first plies in force mode, then one engine move (which renumbers the pieces).
            g.play(moves[i]);
            ASSERT_FALSE(HasFatalFailure());
        }
        auto out = g.h.send({"go"});
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(invariantViolations(e), "") << boardText(e);
        EXPECT_EQ(e.sideToMove, e.engineSide * -1);
        // The engine's pieces carry new numbers; the opponent's legal moves still apply.
        LegalMoveList list;
        listLegalMoves(e, list);
        ASSERT_GT(list.count, 0);
        const auto& m = list.entry[1];
        g.h.send({"force"});
        g.play(moveText(m[1], m[2], m[3], m[4], m[5]));
    }
}

// The engine's own two-square advance, its only legal move here, can be taken en passant by
// the opponent's next move.
TEST(OpponentMoves, EnPassantAgainstTheEnginesDoubleStep) {
    struct Case {
        const char* fen;
        const char* engineMove;
        const char* reply;
        const char* victim;
        int legalAfterEngine, legalAfterReply;
    };
    for (const Case& c :
         {Case{"7R/3p1k2/2N5/4P3/8/1B6/8/6RK b - - 0 1", "move d7d5", "e5d6", "d5", 43, 1},
          Case{"6rk/8/1b6/8/4p3/2n5/3P1K2/7r w - - 0 1", "move d2d4", "e4d3", "d4", 43, 1}}) {
        SCOPED_TRACE(c.fen);
        Game g(c.fen);
        EngineState& e = g.e();
        const int engine = e.sideToMove;
        auto out = g.h.send({"go"});
        ASSERT_NE(std::find(out.begin(), out.end(), c.engineMove), out.end());
        EXPECT_EQ(invariantViolations(e), "");
        const int pawn = at(e, c.victim);
        EXPECT_EQ(e.pieceKind[pawn], 10 * engine);
        EXPECT_EQ(legalCount(e), c.legalAfterEngine);
        g.h.send({"force"});
        g.play(c.reply);
        EXPECT_EQ(at(e, c.victim), 0);
        EXPECT_EQ(e.piecePos[pawn][1], 0);
        EXPECT_EQ(e.materialCount[engine][1], 0);
        EXPECT_EQ(legalCount(e), c.legalAfterReply);
    }
}

// ---------------------------------------------------------------------------------------------
// Refused moves

struct Refusal {
    const char* fen;
    std::vector<std::string> texts;
};

TEST(OpponentMoves, IllegalTextsAreAnsweredAndChangeNothing) {
    const std::vector<Refusal> refusals = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
         {"e2e5", "e7e5",   "e3e4", "a1a2", "b1d2", "e1g1", "e1c1",  "e2e4q", "e2e4Q", "e2",
          "e2e",  "e2e4e5", "",     "e9e4", "i2i4", "E2E4", "e2-e4", "O-O",   "e2e4 ", " e2e4",
          "e0e4", "`2`4",   "b1b3", "d1h5", "g1e2", "e2d3", "e1e2",  "a2b3",  "h2h5",  "e2e4n"}},
        // A pinned bishop, a pawn stepping diagonally onto an empty square, a bad letter.
        {"4k3/4r3/8/8/8/8/3PB3/4K3 w - - 0 1", {"e2d3", "e2f1", "e1f1x", "d2e3"}},
        {"4k3/8/8/8/8/8/3r4/4K3 w - - 0 1", {"e1d1", "e1e2", "e1f2", "e1d2x", "e1c1"}},
        // Castling: through an attacked square, out of check, into check.
        {"r3k2r/8/8/8/8/8/5r2/R3K2R w KQkq - 0 1", {"e1g1", "e1f1", "e1f2q"}},
        {"r3k2r/8/8/8/8/8/4r3/R3K2R w KQkq - 0 1", {"e1g1", "e1c1"}},
        {"r3k2r/8/8/8/8/8/6r1/R3K2R w KQkq - 0 1", {"e1g1"}},
        {"r3k2r/8/8/8/8/8/8/RN2K1NR w KQkq - 0 1", {"e1g1", "e1c1", "e1a1", "e1h1"}},
        {"r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1", {"e1g1", "e1c1"}},
        {"r3k2r/8/8/8/8/8/8/R3K2R b KQ - 0 1", {"e8g8", "e8c8"}},
        // Promotion: none given, a bad letter, a letter in the wrong place.
        {"k7/4P3/8/8/8/8/8/4K3 w - - 0 1",
         {"e7e8", "e7e8k", "e7e8K", "e7e8p", "e7e8x", "e7e8qq", "e7e8 q", "e1e2q", "e7d8q"}},
        {"4k3/8/8/8/8/8/3p4/K7 b - - 0 1", {"d2d1", "d2d1k", "d2c1q", "e8e7q"}},
        // En passant without a double step just before.
        {"4k3/8/8/3pP3/8/8/8/4K3 w - - 0 1", {"e5d6", "e5f6"}},
        {"4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", {"e5f6", "e5d6q"}},
    };
    for (const Refusal& r : refusals) {
        for (const char* mode : {"force", "playother"}) {
            Game g(r.fen);
            g.h.send({mode});
            EngineState& e = g.e();
            for (const std::string& text : r.texts) {
                SCOPED_TRACE(std::string(r.fen) + " / " + mode + " / '" + text + "'");
                PositionSnapshot before(e);
                const int ply = e.gamePly, side = e.sideToMove, force = e.forceMode;
                const auto movesRow = e.gameMoves[ply];
                const auto keyRow = e.positionKey[ply];
                const auto rowZero = e.plyRecord[0];
                auto out = g.h.send({"usermove " + text});
                EXPECT_EQ(out, (std::vector<std::string>{"Illegal move: " + text}));
                EXPECT_TRUE(PositionSnapshot(e) == before);
                EXPECT_EQ(e.gamePly, ply);
                EXPECT_EQ(e.sideToMove, side);
                EXPECT_EQ(e.forceMode, force);
                EXPECT_EQ(e.engineState, 0);
                EXPECT_EQ(e.pendingMove, "");
                EXPECT_TRUE(e.gameMoves[ply] == movesRow);
                EXPECT_TRUE(e.positionKey[ply] == keyRow);
                EXPECT_TRUE(e.plyRecord[0] == rowZero);
            }
            // And a legal move is still taken afterwards.
            ASSERT_GT(legalCount(e), 0) << r.fen;
        }
    }
    // "usermove" alone: the whole line is the text.
    Game g("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_EQ(g.h.send({"usermove"}), (std::vector<std::string>{"Illegal move: usermove"}));
}

TEST(OpponentMoves, LegalCounterpartsOfTheRefusedMovesAreTaken) {
    // The moves next to those refused above, to show the refusals are about the rule broken.
    Game a("4k3/4r3/8/8/8/8/3PB3/4K3 w - - 0 1");
    a.play("d2d4");
    Game b("r3k2r/8/8/8/8/8/5r2/R3K2R w KQkq - 0 1");
    b.play("e1c1");
    Game c("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
    c.play("e1g1");
    // The b1 square may be attacked for queenside castling.
    Game d("r3k2r/8/8/8/8/8/1r6/R3K2R w KQkq - 0 1");
    d.play("e1c1");
    EXPECT_EQ(at(d.e(), "c1"), 13);
    Game f("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
    f.play("e5d6");
    Game p("k7/4P3/8/8/8/8/8/4K3 w - - 0 1");
    p.play("e7e8Q");
    // A repeated leading word is stripped as a whole.
    Game u("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1");
    EXPECT_TRUE(u.h.send({"usermove usermove e2e4"}).empty());
    EXPECT_NE(at(u.e(), "e4"), 0);
}

}  // namespace
}  // namespace qm::test

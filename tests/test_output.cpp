// What the engine writes and does at the end of a turn: the thinking line and the claim it
// sets, the move line, making the chosen move on the game tables, and the driver's deepening,
// stopping and announcing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "board/game_record.h"
#include "board/legal_moves.h"
#include "board/state_init.h"
#include "search/driver.h"
#include "search/engine_move.h"
#include "search/thinking_output.h"
#include "support/harness.h"

namespace qm::test {
namespace {

// ---------------------------------------------------------------------------------------------
// Thinking line
// ---------------------------------------------------------------------------------------------

struct Move {
    int ff, fr, tf, tr, promotion;
};

// Depth, root score, 12 centiseconds since the last "time", nodes, and a variation.
void setThinking(EngineState& e, Harness& h, int depth, int score, int side, double nodes,
                 int length, int extensionPlies, const std::vector<Move>& line) {
    e.iterationDepth = depth;
    e.plyScore[1][1] = 1;
    e.plyScore[1][2] = score;
    e.engineSide = side;
    e.nodeCount = nodes;
    e.maxQuiescenceDepth = extensionPlies;
    e.pvLines.clear();
    e.pvLines[1][1][9] = length;
    for (std::size_t i = 0; i < line.size(); ++i) {
        auto& entry = e.pvLines[1][static_cast<int>(i) + 1];
        entry[1] = line[i].ff;
        entry[2] = line[i].fr;
        entry[3] = line[i].tf;
        entry[4] = line[i].tr;
        entry[5] = line[i].promotion;
        entry[6] = score;
    }
    e.clockStampTime = 40.0;
    h.clock().set(40.12);
}

struct ThinkingFixture : ::testing::Test {
    ThinkingFixture() { h.initialise(); }
    std::string print() {
        h.takeRawOutput();
        printThinkingLine(h.engine());
        return h.takeRawOutput();
    }
    Harness h;
    const std::vector<Move> opening = {{5, 7, 5, 5, 0}, {7, 1, 6, 3, 0}, {2, 8, 3, 6, 0}};
};

TEST_F(ThinkingFixture, ExampleLineByteForByte) {
    auto& e = h.engine();
    setThinking(e, h, 3, -25, -1, 1234, 3, 2, opening);
    EXPECT_EQ(print(), " 3  25 12 1234  3 5 e7e5 g1f3 b8c6  \r\n");
    EXPECT_EQ(e.resultText, "");
}

TEST_F(ThinkingFixture, NegativeScoreTakesTheBlank) {
    auto& e = h.engine();
    setThinking(e, h, 3, 25, -1, 1234, 3, 2, opening);
    EXPECT_EQ(print(), " 3 -25 12 1234  3 5 e7e5 g1f3 b8c6  \r\n");
    setThinking(e, h, 12, -310, 1, 0, 12, 0, opening);
    EXPECT_EQ(print(), " 12 -310 12 0  12 12 e7e5 g1f3 b8c6  \r\n");
}

TEST_F(ThinkingFixture, TimeIsRoundedToWholeCentiseconds) {
    auto& e = h.engine();
    setThinking(e, h, 1, 0, 1, 7, 1, 0, {{5, 2, 5, 4, 0}});
    e.clockStampTime = 10.0;
    h.clock().set(10.126);  // 12.6 cs
    EXPECT_EQ(print(), " 1  0 13 7  1 1 e2e4  \r\n");
    h.clock().set(10.5);  // 50 cs
    EXPECT_EQ(print(), " 1  0 50 7  1 1 e2e4  \r\n");
}

TEST_F(ThinkingFixture, LargeNodeCountsInFull) {
    auto& e = h.engine();
    setThinking(e, h, 2, 100, 1, 123456789012.0, 2, 0, {{5, 2, 5, 4, 0}, {5, 7, 5, 5, 0}});
    EXPECT_EQ(print(), " 2  100 12 123456789012  2 2 e2e4 e7e5  \r\n");
}

TEST_F(ThinkingFixture, VariationEndingEarly) {
    auto& e = h.engine();
    // A draw after the first move: "draw " once, then nothing for the later empty places.
    setThinking(e, h, 3, 0, 1, 50, 3, 0, {{7, 1, 6, 3, 0}});
    EXPECT_EQ(print(), " 3  0 12 50  3 3 g1f3 draw  \r\n");
    EXPECT_EQ(e.resultText, "1/2-1/2");
    // A mate by White: "++ " and the claim for White.
    setThinking(e, h, 4, 99999, 1, 50, 4, 1, {{1, 1, 1, 8, 0}});
    EXPECT_EQ(print(), " 4  99999 12 50  4 5 a1a8 ++  \r\n");
    EXPECT_EQ(e.resultText, "1-0");
    // A mate by Black, the engine playing Black: the printed score is the engine's.
    setThinking(e, h, 2, -99999, -1, 50, 2, 0, {{1, 8, 1, 1, 0}});
    EXPECT_EQ(print(), " 2  99999 12 50  2 2 a8a1 ++  \r\n");
    EXPECT_EQ(e.resultText, "0-1");
    // A mate in two: the line has three moves, so no claim.
    setThinking(e, h, 4, -99997, -1, 50, 4, 0, {{1, 8, 1, 2, 0}, {8, 1, 7, 1, 0}, {2, 8, 2, 1, 0}});
    EXPECT_EQ(print(), " 4  99997 12 50  4 4 a8a2 h1g1 b8b1 ++  \r\n");
    EXPECT_EQ(e.resultText, "");
    // A draw two moves in: no claim.
    setThinking(e, h, 3, 0, 1, 50, 3, 0, {{7, 1, 6, 3, 0}, {7, 8, 6, 6, 0}});
    EXPECT_EQ(print(), " 3  0 12 50  3 3 g1f3 g8f6 draw  \r\n");
    EXPECT_EQ(e.resultText, "");
    // An ordinary score on a short line prints no marker and claims nothing.
    setThinking(e, h, 3, 300, 1, 50, 3, 0, {{7, 1, 6, 3, 0}});
    EXPECT_EQ(print(), " 3  300 12 50  3 3 g1f3  \r\n");
    EXPECT_EQ(e.resultText, "");
}

TEST_F(ThinkingFixture, PromotionLettersAreLowerCase) {
    auto& e = h.engine();
    for (int side : {1, -1}) {
        setThinking(e, h, 4, 900 * side, side, 9, 4, 0,
                    {{1, 7, 1, 8, 5}, {8, 2, 8, 1, 2}, {2, 7, 3, 8, 4}, {7, 2, 6, 1, 3}});
        EXPECT_EQ(print(), " 4  900 12 9  4 4 a7a8q h2h1n b7c8r g2f1b  \r\n");
    }
}

// ---------------------------------------------------------------------------------------------
// Move line
// ---------------------------------------------------------------------------------------------

TEST(MoveLine, PromotionLetterCaseFollowsTheEngineColour) {
    Harness h;
    h.initialise();
    auto& e = h.engine();
    struct Case {
        int side;
        Move move;
        const char* text;
    };
    for (const Case& c : {
             Case{1, {5, 2, 5, 4, 0}, "move e2e4"},
             Case{1, {5, 7, 5, 8, 5}, "move e7e8Q"},
             Case{1, {1, 7, 2, 8, 4}, "move a7b8R"},
             Case{1, {8, 7, 8, 8, 3}, "move h7h8B"},
             Case{1, {3, 7, 3, 8, 2}, "move c7c8N"},
             Case{-1, {2, 2, 2, 1, 2}, "move b2b1n"},
             Case{-1, {8, 2, 8, 1, 5}, "move h2h1q"},
             Case{-1, {4, 2, 5, 1, 4}, "move d2e1r"},
             Case{-1, {1, 2, 1, 1, 3}, "move a2a1b"},
             Case{-1, {5, 8, 7, 8, 0}, "move e8g8"},
         }) {
        e.engineSide = c.side;
        e.pvLines.clear();
        auto& m = e.pvLines[1][1];
        m[1] = c.move.ff;
        m[2] = c.move.fr;
        m[3] = c.move.tf;
        m[4] = c.move.tr;
        m[5] = c.move.promotion;
        formatEngineMove(e);
        EXPECT_EQ(e.engineMoveText, c.text);
    }
}

// ---------------------------------------------------------------------------------------------
// Making the engine's move
// ---------------------------------------------------------------------------------------------

// Sets the position up, lets the engine play `move` (coordinates, promotion letter in lower
// case) as the search would hand it over, and checks the tables afterwards.
struct EngineMoveFixture : ::testing::Test {
    EngineMoveFixture() { h.initialise(); }

    void play(const std::string& fen, const std::string& move) {
        ASSERT_TRUE(h.setPosition(fen)) << fen;
        auto& e = h.engine();
        e.engineSide = e.sideToMove;
        ply = e.gamePly;
        LegalMoveList legal;
        listLegalMoves(e, legal);
        const int ff = move[0] - 'a' + 1, fr = move[1] - '0';
        const int tf = move[2] - 'a' + 1, tr = move[3] - '0';
        const int promotion =
            move.size() == 5 ? static_cast<int>(std::string("nbrq").find(move[4])) + 2 : 0;
        int found = 0;
        for (int n = 1; n <= legal.count; ++n) {
            const auto& m = legal.entry[n];
            if (m[1] == ff && m[2] == fr && m[3] == tf && m[4] == tr && m[5] == promotion)
                found = n;
        }
        ASSERT_NE(found, 0) << move << " is not legal in " << fen;
        e.pvLines.clear();
        e.pvLines[1][1] = legal.entry[found];
        mover = e.board[ff][fr];
        captured = e.board[tf][tr];
        formatEngineMove(e);
        makeEngineMove(e);
        e.sideToMove = -e.engineSide;
        EXPECT_EQ(invariantViolations(e), "") << boardText(e);
        EXPECT_EQ(e.gameMoves[ply][1], ff);
        EXPECT_EQ(e.gameMoves[ply][2], fr);
        EXPECT_EQ(e.gameMoves[ply][3], tf);
        EXPECT_EQ(e.gameMoves[ply][4], tr);
    }

    EngineState& e() { return h.engine(); }
    int kingKind(int side) { return e().pieceKind[e().pieceIndexOf[13] * side]; }

    Harness h;
    int ply = 0;
    int mover = 0;
    int captured = 0;
};

TEST_F(EngineMoveFixture, CastlingMovesTheRook) {
    play("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1g1");
    EXPECT_EQ(e().engineMoveText, "move e1g1");
    EXPECT_EQ(e().board[7][1], mover);
    EXPECT_EQ(e().board[6][1], e().pieceIndexOf[16]);
    EXPECT_EQ(e().board[8][1], 0);
    EXPECT_EQ(e().board[5][1], 0);
    EXPECT_EQ(e().kingPos[1][1], 7);
    EXPECT_EQ(e().kingPos[1][2], 1);
    EXPECT_EQ(kingKind(1), 9);
    EXPECT_EQ(kingKind(-1), -6);

    play("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "e1c1");
    EXPECT_EQ(e().board[3][1], mover);
    EXPECT_EQ(e().board[4][1], e().pieceIndexOf[9]);
    EXPECT_EQ(e().board[1][1], 0);
    EXPECT_EQ(e().kingPos[1][1], 3);
    EXPECT_EQ(kingKind(1), 9);

    play("r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "e8g8");
    EXPECT_EQ(e().board[7][8], mover);
    EXPECT_EQ(e().board[6][8], -e().pieceIndexOf[16]);
    EXPECT_EQ(e().board[8][8], 0);
    EXPECT_EQ(e().kingPos[-1][1], 7);
    EXPECT_EQ(kingKind(-1), -9);
    EXPECT_EQ(kingKind(1), 6);
}

TEST_F(EngineMoveFixture, TakingACornerRookTakesTheCastlingRight) {
    struct Case {
        const char* fen;
        const char* move;
        int otherBefore, otherAfter, ownAfter;
    };
    for (const Case& c : {
             Case{"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "a1a8", -6, -7, 7},
             Case{"r3k2r/8/8/8/8/8/8/R3K2R w KQq - 0 1", "a1a8", -8, -9, 7},
             Case{"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "h1h8", -6, -8, 8},
             Case{"r3k2r/8/8/8/8/8/8/R3K2R w KQk - 0 1", "h1h8", -7, -9, 8},
             Case{"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "a8a1", 6, 7, -7},
             Case{"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "h8h1", 6, 8, -8},
             Case{"r3k2r/8/8/8/8/8/8/R3K2R b Kkq - 0 1", "h8h1", 7, 9, -8},
         }) {
        SCOPED_TRACE(std::string(c.fen) + " " + c.move);
        ASSERT_TRUE(h.setPosition(c.fen));
        const int side = e().sideToMove;
        ASSERT_EQ(kingKind(-side), c.otherBefore);
        play(c.fen, c.move);
        EXPECT_EQ(kingKind(-side), c.otherAfter);
        EXPECT_EQ(kingKind(side), c.ownAfter);  // the rook also left its own corner
        EXPECT_EQ(e().piecePos[captured][1], 0);
        EXPECT_EQ(e().materialCount[-4 * side][1], 1);
        EXPECT_EQ(e().gameMoves[ply][8], 0);
    }
}

TEST_F(EngineMoveFixture, RookLeavingItsCorner) {
    struct Case {
        const char* fen;
        const char* move;
        int before, after;
    };
    for (const Case& c : {
             Case{"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "a1b1", 6, 7},
             Case{"r3k2r/8/8/8/8/8/8/R3K2R w Qkq - 0 1", "a1b1", 8, 9},
             Case{"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "h1g1", 6, 8},
             Case{"r3k2r/8/8/8/8/8/8/R3K2R w Kkq - 0 1", "h1g1", 7, 9},
             Case{"r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1", "a1a5", 6, 7},
             Case{"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "a8b8", -6, -7},
             Case{"r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 0 1", "h8h2", -6, -8},
         }) {
        SCOPED_TRACE(std::string(c.fen) + " " + c.move);
        ASSERT_TRUE(h.setPosition(c.fen));
        const int side = e().sideToMove;
        ASSERT_EQ(kingKind(side), c.before);
        play(c.fen, c.move);
        EXPECT_EQ(kingKind(side), c.after);
        EXPECT_EQ(kingKind(-side), -6 * side);
    }
}

TEST_F(EngineMoveFixture, EnPassantRemovesThePawnBeside) {
    for (auto [fen, move] : {std::pair{"4k3/8/8/3pP3/8/8/8/4K3 w - d6 5 30", "e5d6"},
                             std::pair{"4k3/8/8/8/3Pp3/8/8/4K3 b - d3 5 30", "e4d3"}}) {
        SCOPED_TRACE(fen);
        ASSERT_TRUE(h.setPosition(fen));
        const int side = e().sideToMove;
        const int fromRank = move[1] - '0';
        const int victim = e().board[4][fromRank];
        ASSERT_NE(victim, 0);
        play(fen, move);
        EXPECT_EQ(e().board[4][fromRank], 0);
        EXPECT_EQ(e().board[4][fromRank + side], mover);
        EXPECT_EQ(e().piecePos[victim][1], 0);
        EXPECT_EQ(e().piecePos[victim][2], 0);
        EXPECT_EQ(e().materialCount[-side][1], 0);
        EXPECT_EQ(e().materialCount[side][1], 1);
        EXPECT_EQ(e().gameMoves[ply][8], 0);
        EXPECT_EQ(e().epInfo[1], 0);
    }
}

TEST_F(EngineMoveFixture, OwnDoubleStepIsMarkedForEnPassant) {
    // White: e2e4 beside a black pawn on d4.
    play("4k3/8/8/8/3p4/8/4P3/4K3 w - - 3 30", "e2e4");
    EXPECT_EQ(e().pieceKind[mover], 10);
    EXPECT_EQ(e().epInfo[1], 5);
    EXPECT_EQ(e().epInfo[2], 4);
    EXPECT_EQ(e().epInfo[3], mover);
    EXPECT_EQ(e().epInfo[4], 1);
    const auto& row0 = e().plyRecord[0];
    EXPECT_EQ(row0[1], mover);
    EXPECT_EQ(row0[5], 1);
    EXPECT_EQ(row0[6], 5);
    EXPECT_EQ(row0[7], 2);
    EXPECT_EQ(row0[8], 5);
    EXPECT_EQ(row0[9], 4);
    EXPECT_EQ(e().gameMoves[ply][8], 0);
    // The opponent may take it en passant now.
    {
        LegalMoveList legal;
        listLegalMoves(e(), legal);
        bool takes = false;
        for (int n = 1; n <= legal.count; ++n) {
            const auto& m = legal.entry[n];
            if (m[1] == 4 && m[2] == 4 && m[3] == 5 && m[4] == 3) takes = true;
        }
        EXPECT_TRUE(takes);
    }

    // Black: e7e5.
    play("4k3/4p3/8/3P4/8/8/8/4K3 b - - 0 30", "e7e5");
    EXPECT_EQ(e().pieceKind[mover], -10);
    EXPECT_EQ(e().epInfo[1], 5);
    EXPECT_EQ(e().epInfo[2], 5);
    EXPECT_EQ(e().epInfo[3], mover);
    EXPECT_EQ(e().epInfo[4], -1);
    EXPECT_EQ(e().plyRecord[0][1], mover);
    EXPECT_EQ(e().plyRecord[0][5], 1);

    // Any other move clears row 0: here after a set-up with an en-passant square.
    play("4k3/8/8/8/3pP3/8/8/4K1N1 b - e3 0 30", "e8d7");
    EXPECT_EQ(e().plyRecord[0][1], 0);
    EXPECT_EQ(e().plyRecord[0][5], 0);
    EXPECT_EQ(e().plyRecord[0][8], 0);
    EXPECT_EQ(e().epInfo[1], 0);
    EXPECT_EQ(e().pieceKind[e().board[5][4]], 1);  // the white pawn is ordinary again
}

TEST_F(EngineMoveFixture, PromotionCountsTheNewPiece) {
    struct Case {
        const char* fen;
        const char* move;
        const char* text;
        int kind;  // absolute
        int slots;
        int column;  // materialCount column of the new piece
    };
    for (const Case& c : {
             Case{"4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8b", "move b7b8B", 3, 28, 2},  // dark
             Case{"4k3/P7/8/8/8/8/8/4K3 w - - 0 1", "a7a8b", "move a7a8B", 3, 28, 1},   // light
             Case{"4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8n", "move b7b8N", 2, 8, 1},
             Case{"4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8r", "move b7b8R", 4, 28, 1},
             Case{"4k3/1P6/8/8/8/8/8/4K3 w - - 0 1", "b7b8q", "move b7b8Q", 5, 56, 1},
             Case{"4k3/8/8/8/8/8/p7/4K3 b - - 0 1", "a2a1b", "move a2a1b", 3, 28, 2},   // dark
             Case{"4k3/8/8/8/8/8/1p6/4K3 b - - 0 1", "b2b1b", "move b2b1b", 3, 28, 1},  // light
             Case{"4k3/8/8/8/8/8/1p6/4K3 b - - 0 1", "b2b1n", "move b2b1n", 2, 8, 1},
         }) {
        SCOPED_TRACE(c.move);
        play(c.fen, c.move);
        const int side = e().engineSide;
        EXPECT_EQ(e().engineMoveText, c.text);
        EXPECT_EQ(e().pieceKind[mover], c.kind * side);
        EXPECT_EQ(e().pieceSlots[mover], c.slots);
        EXPECT_EQ(e().materialCount[c.kind * side][c.column], 1);
        if (c.kind == 3) {
            EXPECT_EQ(e().materialCount[3 * side][3 - c.column], 0);
        }
        EXPECT_EQ(e().materialCount[side][1], 0);
        EXPECT_EQ(e().gameMoves[ply][8], 0);
    }
    // A capturing promotion removes the captured piece from the counts.
    play("1r2k3/P7/8/8/8/8/8/4K3 w - - 0 1", "a7b8q");
    EXPECT_EQ(e().materialCount[-4][1], 0);
    EXPECT_EQ(e().materialCount[5][1], 1);
    EXPECT_EQ(e().piecePos[captured][1], 0);
}

TEST_F(EngineMoveFixture, HalfMoveClock) {
    play("4k3/8/8/8/8/8/4P3/4K1N1 w - - 7 30", "g1f3");
    EXPECT_EQ(e().gameMoves[ply][8], 8);
    play("4k3/8/8/8/8/8/4P3/4K1N1 w - - 7 30", "e1d1");
    EXPECT_EQ(e().gameMoves[ply][8], 8);
    play("4k3/8/8/8/8/5p2/4P3/4K1N1 w - - 7 30", "g1f3");
    EXPECT_EQ(e().gameMoves[ply][8], 0);
    play("4k3/8/8/8/8/8/4P3/4K1N1 w - - 7 30", "e2e3");
    EXPECT_EQ(e().gameMoves[ply][8], 0);
    play("4k3/8/8/8/8/8/4P3/4K1N1 b - - 7 30", "e8d7");
    EXPECT_EQ(e().gameMoves[ply][8], 8);
}

TEST_F(EngineMoveFixture, PositionKeyFollowsTheMovedPiece) {
    play("4k3/8/8/8/8/8/4P3/4K1N1 w - - 7 30", "g1f3");
    auto& g = e();
    double sum = 0.0;
    for (int f = 1; f <= 8; ++f)
        for (int r = 1; r <= 8; ++r)
            if (g.board[f][r] != 0) sum += keyTerm(g, g.pieceKind[g.board[f][r]], f, r);
    EXPECT_NEAR(g.positionKey[ply][1], sum, 1e-7 * std::fabs(sum));
    EXPECT_NE(g.positionKey[ply][1], g.positionKey[ply - 1][1]);
    EXPECT_EQ(g.positionKey[ply][2], std::floor(1000000.0 * g.positionKey[ply][1]));
    EXPECT_EQ(g.positionKey[ply][3], 0.0);
}

// ---------------------------------------------------------------------------------------------
// The engine's turn
// ---------------------------------------------------------------------------------------------

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.rfind(prefix, 0) == 0;
}
bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TEST(EngineTurn, MateInOneEndsOnTheShortVariation) {
    struct Case {
        const char* fen;
        const char* move;
        const char* claim;
    };
    for (const Case& c : {Case{"6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1", "a1a8", "1-0"},
                          Case{"r5k1/5ppp/8/8/8/8/5PPP/6K1 b - - 0 1", "a8a1", "0-1"}}) {
        SCOPED_TRACE(c.fen);
        Harness h(5);  // the clock stands still: only the short variation ends the turn
        h.initialise();
        auto out = h.send({std::string("setboard ") + c.fen, "go"});
        ASSERT_EQ(out.size(), 4u) << ::testing::PrintToString(out);
        EXPECT_TRUE(startsWith(out[0], " 1  500 0 ")) << out[0];
        EXPECT_TRUE(startsWith(out[1], " 2  99999 0 ")) << out[1];
        EXPECT_TRUE(endsWith(out[1], std::string(" ") + c.move + " ++  ")) << out[1];
        EXPECT_EQ(out[2], std::string("move ") + c.move);
        EXPECT_EQ(out[3], c.claim);
        EXPECT_EQ(h.engine().iterationDepth, 2);
    }
}

TEST(EngineTurn, StalematingMoveClaimsADraw) {
    for (auto [fen, move] : {std::pair{"K7/q7/8/8/2P3Q1/6Q1/8/5k2 w - - 0 1", "a8a7"},
                             std::pair{"5K2/8/6q1/2p3q1/8/8/Q7/k7 b - - 0 1", "a1a2"}}) {
        SCOPED_TRACE(fen);
        Harness h(6);
        h.initialise();
        auto out = h.send({std::string("setboard ") + fen, "go"});
        ASSERT_EQ(out.size(), 4u) << ::testing::PrintToString(out);
        EXPECT_TRUE(startsWith(out[0], " 1  1900 0 1  1 1 ")) << out[0];
        EXPECT_EQ(out[1], std::string(" 2  0 0 1  2 2 ") + move + " draw  ");
        EXPECT_EQ(out[2], std::string("move ") + move);
        EXPECT_EQ(out[3], "1/2-1/2");
    }
}

TEST(EngineTurn, NoLegalMoveGivesOnlyTheResult) {
    struct Case {
        const char* fen;
        const char* result;
    };
    for (const Case& c : {Case{"6k1/5ppp/8/8/8/8/5PPP/r5K1 w - - 0 1", "0-1"},
                          Case{"R5k1/5ppp/8/8/8/8/5PPP/6K1 b - - 0 1", "1-0"},
                          Case{"k7/8/1Q6/8/8/8/8/7K b - - 0 1", "1/2-1/2"},
                          Case{"7k/8/8/8/8/1q6/8/K7 w - - 0 1", "1/2-1/2"}}) {
        SCOPED_TRACE(c.fen);
        Harness h(7);
        h.initialise();
        auto out = h.send({std::string("setboard ") + c.fen, "go"});
        ASSERT_EQ(out.size(), 1u) << ::testing::PrintToString(out);
        EXPECT_EQ(out[0], c.result);
    }
}

TEST(EngineTurn, QuietFirstIterationMakesNoDrawClaim) {
    // Each clock reading is half a second later: depth 1 of the start position reads the clock
    // only for its thinking line, depth 2 runs out of its budget of 500 cs and is dropped.
    for (std::uint64_t seed : {1u, 2u, 3u}) {
        Harness h(seed, 0.5);
        h.initialise();
        auto out = h.send({"new", "go"});
        ASSERT_EQ(out.size(), 3u) << ::testing::PrintToString(out);
        ASSERT_TRUE(startsWith(out[1], "move ")) << out[1];
        const std::string move = out[1].substr(5);
        // The thinking line claims a draw (score 0, one move) but the position after the move
        // is no draw, so the result line stays empty.
        EXPECT_EQ(out[0], " 1  0 100 20  1 1 " + move + "  ");
        EXPECT_EQ(out[2], "");
        EXPECT_EQ(h.engine().iterationDepth, 2);
    }
}

TEST(EngineTurn, DepthLimitEndsTheDeepening) {
    Harness h(4);  // the clock stands still
    h.initialise();
    ASSERT_TRUE(h.setPosition("7k/8/8/8/8/8/8/R5K1 w - - 0 1"));
    auto& e = h.engine();
    e.engineSide = 1;
    e.engineState = 1;
    e.depthLimit = 3;
    e.clockStampTime = e.io.clock.seconds();
    e.moveBudgetCs = 500.0;
    h.takeRawOutput();
    engineTurn(e);
    const std::string raw = h.takeRawOutput();
    EXPECT_TRUE(startsWith(raw, " 1  500 ")) << raw;
    EXPECT_NE(raw.find("\r\n 2  500 "), std::string::npos) << raw;
    EXPECT_NE(raw.find("\r\n 3  500 "), std::string::npos) << raw;
    EXPECT_EQ(raw.find(" 4  "), std::string::npos) << raw;
    EXPECT_EQ(e.iterationDepth, 3);
    EXPECT_EQ(e.searchStatus, 1);
    EXPECT_TRUE(startsWith(e.engineMoveText, "move "));
}

TEST(EngineTurn, SmallBudgetPlaysTheFirstIteration) {
    // The first iteration completes, but by then more than a third of the budget is spent.
    Harness h(8);
    h.initialise();
    ASSERT_TRUE(h.setPosition("7k/8/8/8/8/8/8/R5K1 w - - 0 1"));
    auto& e = h.engine();
    e.engineSide = 1;
    e.engineState = 1;
    renumberPieces(e);
    h.clock().set(10.0);
    h.clock().setStep(0.5);
    e.clockStampTime = 10.0;
    e.moveBudgetCs = 100.0;
    h.takeRawOutput();
    engineTurn(e);
    const std::string raw = h.takeRawOutput();
    ASSERT_TRUE(startsWith(raw, " 1  500 0 ")) << raw;
    EXPECT_EQ(raw.find("\r\n"), raw.size() - 2) << "more than one thinking line: " << raw;
    EXPECT_EQ(e.iterationDepth, 1);
    EXPECT_EQ(e.engineState, 2);
    EXPECT_EQ(e.searchStatus, 0);
    // The move of the line is the move played.
    const std::string move = e.engineMoveText.substr(5);
    EXPECT_NE(raw.find(" " + move + "  \r\n"), std::string::npos) << raw;
    const int ff = move[0] - 'a' + 1, fr = move[1] - '0';
    const int tf = move[2] - 'a' + 1, tr = move[3] - '0';
    EXPECT_EQ(e.board[ff][fr], 0);
    EXPECT_GT(e.board[tf][tr], 0);
    EXPECT_EQ(e.resultText, "");
    EXPECT_EQ(invariantViolations(e), "");
}

TEST(EngineTurn, NoCompletedIterationStillPlaysALegalMove) {
    // The budget runs out at the first clock reading inside the first iteration.
    Harness h(9);
    h.initialise();
    const std::string fen = "r3k2r/ppp2ppp/2n5/3qp3/3P4/2N5/PPP2PPP/R2QK2R w KQkq - 0 10";
    ASSERT_TRUE(h.setPosition(fen));
    auto& e = h.engine();
    e.engineSide = 1;
    e.engineState = 1;
    renumberPieces(e);
    LegalMoveList legal;
    e.sideToMove = 1;
    listLegalMoves(e, legal);
    h.clock().set(10.0);
    h.clock().setStep(1.0);
    e.clockStampTime = 9.0;  // the first reading is already 100 cs later
    e.moveBudgetCs = 50.0;
    h.takeRawOutput();
    engineTurn(e);
    EXPECT_EQ(h.takeRawOutput(), "") << "no iteration completed, so no thinking line";
    ASSERT_TRUE(startsWith(e.engineMoveText, "move "));
    const std::string move = e.engineMoveText.substr(5);
    bool isLegal = false;
    for (int n = 1; n <= legal.count; ++n) {
        const auto& m = legal.entry[n];
        std::string t;
        t += static_cast<char>('a' + m[1] - 1);
        t += static_cast<char>('0' + m[2]);
        t += static_cast<char>('a' + m[3] - 1);
        t += static_cast<char>('0' + m[4]);
        if (t == move) isLegal = true;
    }
    EXPECT_TRUE(isLegal) << move;
    EXPECT_EQ(e.resultText, "");
    EXPECT_EQ(invariantViolations(e), "");
}

}  // namespace
}  // namespace qm::test

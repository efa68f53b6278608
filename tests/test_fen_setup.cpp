// Setting up positions from FEN text: piece indices, kinds, counters, castling rights, the
// en-passant state, the texts that are refused and the ones that are read leniently.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/game_record.h"
#include "support/harness.h"

namespace qm::test {
namespace {

const char* const kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

struct Board {
    Harness h;
    Board() { h.initialise(); }
    EngineState& e() { return h.engine(); }
    bool set(const std::string& fen) { return h.setPosition(fen); }
};

// Index on a square given in algebraic form ("e4").
int at(const EngineState& e, const char* square) {
    return e.board[square[0] - 'a' + 1][square[1] - '0'];
}

int material(const EngineState& e, int kind, int column = 1) {
    return e.materialCount[kind][column];
}

bool emptyPosition(const EngineState& e) {
    for (int f = 1; f <= 8; ++f)
        for (int r = 1; r <= 8; ++r)
            if (e.board[f][r] != 0) return false;
    for (int i = -16; i <= 16; ++i)
        if (e.pieceKind[i] != 0 || e.piecePos[i][1] != 0 || e.pieceSlots[i] != 0) return false;
    for (int k = 1; k <= 5; ++k)
        for (int c = 1; c <= 2; ++c)
            if (e.materialCount[k][c] != 0 || e.materialCount[-k][c] != 0) return false;
    return true;
}

TEST(FenSetup, StartPositionIndicesKindsAndCounts) {
    Board s;
    ASSERT_TRUE(s.set(kStart));
    EngineState& e = s.e();
    const char* files = "abcdefgh";
    for (int f = 1; f <= 8; ++f) {
        EXPECT_EQ(e.board[f][2], f) << files[f - 1] << "2";
        EXPECT_EQ(e.board[f][7], -f) << files[f - 1] << "7";
        EXPECT_EQ(e.pieceKind[f], 1);
        EXPECT_EQ(e.pieceKind[-f], -1);
        EXPECT_EQ(e.pieceSlots[f], 18);
        for (int r = 3; r <= 6; ++r) EXPECT_EQ(e.board[f][r], 0);
    }
    const int backRank[9] = {0, 9, 10, 11, 12, 13, 14, 15, 16};
    const int kinds[9] = {0, 4, 2, 3, 5, 6, 3, 2, 4};
    const int slots[9] = {0, 28, 8, 28, 56, 10, 28, 8, 28};
    for (int f = 1; f <= 8; ++f) {
        EXPECT_EQ(e.board[f][1], backRank[f]) << files[f - 1] << "1";
        EXPECT_EQ(e.board[f][8], -backRank[f]) << files[f - 1] << "8";
        EXPECT_EQ(e.pieceKind[backRank[f]], kinds[f]);
        EXPECT_EQ(e.pieceKind[-backRank[f]], -kinds[f]);
        EXPECT_EQ(e.pieceSlots[backRank[f]], slots[f]);
        EXPECT_EQ(e.pieceSlots[-backRank[f]], slots[f]);
        EXPECT_EQ(e.piecePos[backRank[f]][1], f);
        EXPECT_EQ(e.piecePos[backRank[f]][2], 1);
        EXPECT_EQ(e.piecePos[-backRank[f]][2], 8);
    }
    EXPECT_EQ(at(e, "c8"), -11);
    EXPECT_EQ(at(e, "f8"), -14);
    EXPECT_EQ(e.kingPos[1][1], 5);
    EXPECT_EQ(e.kingPos[1][2], 1);
    EXPECT_EQ(e.kingPos[-1][1], 5);
    EXPECT_EQ(e.kingPos[-1][2], 8);
    EXPECT_EQ(e.sideToMove, 1);
    EXPECT_EQ(e.gamePly, 1);
    EXPECT_EQ(e.gameMoves[0][8], 0);
    for (int k = 1; k <= 4; ++k) EXPECT_EQ(e.epInfo[k], 0);
    for (int c = 1; c <= 16; ++c) EXPECT_EQ(e.plyRecord[0][c], 0);
    for (int i = -16; i <= 16; ++i) EXPECT_EQ(e.pieceIndexOf[i], i);
    for (int s : {1, -1}) {
        EXPECT_EQ(material(e, 1 * s), 8);
        EXPECT_EQ(material(e, 2 * s), 2);
        EXPECT_EQ(material(e, 3 * s, 1), 1) << "light-square bishops";
        EXPECT_EQ(material(e, 3 * s, 2), 1) << "dark-square bishops";
        EXPECT_EQ(material(e, 4 * s), 2);
        EXPECT_EQ(material(e, 5 * s), 1);
    }
    EXPECT_EQ(invariantViolations(e), "");

    // "new" gives the same tables.
    Harness h;
    h.handshake();
    h.send({"new"});
    EXPECT_TRUE(PositionSnapshot(h.engine()) == PositionSnapshot(e));
    EXPECT_EQ(h.engine().gamePly, 1);
    EXPECT_EQ(h.engine().positionFen, kStart);
}

TEST(FenSetup, EnPassantFieldMarksThePawnThatJustAdvanced) {
    Board s;
    EngineState& e = s.e();
    ASSERT_TRUE(s.set("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"));
    // White's pawns are numbered in FEN order: e4 comes first.
    const int pawn = at(e, "e4");
    EXPECT_EQ(pawn, 1);
    EXPECT_EQ(e.pieceKind[pawn], 10);
    EXPECT_EQ(e.epInfo[1], 5);
    EXPECT_EQ(e.epInfo[2], 4);
    EXPECT_EQ(e.epInfo[3], pawn);
    EXPECT_EQ(e.epInfo[4], 1);
    const auto& r0 = e.plyRecord[0];
    EXPECT_EQ(r0[1], pawn);
    EXPECT_EQ(r0[5], 1);
    EXPECT_EQ(r0[6], 5);
    EXPECT_EQ(r0[7], 2);
    EXPECT_EQ(r0[8], 5);
    EXPECT_EQ(r0[9], 4);
    EXPECT_EQ(e.sideToMove, -1);
    EXPECT_EQ(e.gamePly, 2);
    EXPECT_EQ(material(e, 1), 8) << "a marked pawn still counts as a pawn";
    EXPECT_EQ(invariantViolations(e), "");

    // A black pawn that has just advanced, White to move.
    ASSERT_TRUE(s.set("rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2"));
    const int black = at(e, "d5");
    EXPECT_EQ(e.pieceKind[black], -10);
    EXPECT_EQ(e.epInfo[1], 4);
    EXPECT_EQ(e.epInfo[2], 5);
    EXPECT_EQ(e.epInfo[3], black);
    EXPECT_EQ(e.epInfo[4], -1);
    EXPECT_EQ(e.plyRecord[0][1], black);
    EXPECT_EQ(e.plyRecord[0][7], 7);
    EXPECT_EQ(e.plyRecord[0][9], 5);
    EXPECT_EQ(e.pieceKind[at(e, "e4")], 1) << "only the pawn named by the field is marked";
    EXPECT_EQ(e.gamePly, 3);
}

TEST(FenSetup, PiecesBeyondTheStandardSetTakePawnCounterIndices) {
    Board s;
    EngineState& e = s.e();
    // Queens on d8 and d1, listed in that order; two pawns come between them.
    ASSERT_TRUE(s.set("3Q4/8/7k/8/8/8/PP6/3QK3 w - - 0 1"));
    EXPECT_EQ(at(e, "d8"), 12);
    EXPECT_EQ(at(e, "a2"), 1);
    EXPECT_EQ(at(e, "b2"), 2);
    EXPECT_EQ(at(e, "d1"), 3);
    EXPECT_EQ(e.pieceKind[3], 5);
    EXPECT_EQ(e.pieceSlots[3], 56);
    EXPECT_EQ(material(e, 5), 2);
    EXPECT_EQ(invariantViolations(e), "");

    // Without pawns the extra queen is 1.
    ASSERT_TRUE(s.set("3Q4/8/7k/8/8/8/8/3QK3 b - - 0 1"));
    EXPECT_EQ(at(e, "d8"), 12);
    EXPECT_EQ(at(e, "d1"), 1);

    // Black: three knights, three rooks, two dark-square and two light-square bishops.
    ASSERT_TRUE(s.set("nnnk4/rrr5/bbbb4/8/8/8/8/4K3 w - - 0 1"));
    EXPECT_EQ(at(e, "a8"), -10);
    EXPECT_EQ(at(e, "b8"), -15);
    EXPECT_EQ(at(e, "c8"), -1);
    EXPECT_EQ(at(e, "d8"), -13);
    EXPECT_EQ(at(e, "a7"), -9);
    EXPECT_EQ(at(e, "b7"), -16);
    EXPECT_EQ(at(e, "c7"), -2);
    // a6 and c6 are light squares, b6 and d6 dark; Black's first light-square bishop is -11.
    EXPECT_EQ(at(e, "a6"), -11);
    EXPECT_EQ(at(e, "b6"), -14);
    EXPECT_EQ(at(e, "c6"), -3);
    EXPECT_EQ(at(e, "d6"), -4);
    EXPECT_EQ(material(e, -2), 3);
    EXPECT_EQ(material(e, -4), 3);
    EXPECT_EQ(material(e, -3, 1), 2);
    EXPECT_EQ(material(e, -3, 2), 2);
    EXPECT_EQ(invariantViolations(e), "");

    // White: the first bishop on a dark square is 11, on a light square 14.
    ASSERT_TRUE(s.set("4k3/8/8/8/8/8/8/B1B1KB1B w - - 0 1"));
    EXPECT_EQ(at(e, "a1"), 11);
    EXPECT_EQ(at(e, "c1"), 1);
    EXPECT_EQ(at(e, "f1"), 14);
    EXPECT_EQ(at(e, "h1"), 2);
    EXPECT_EQ(material(e, 3, 1), 2);
    EXPECT_EQ(material(e, 3, 2), 2);
}

TEST(FenSetup, CountersSetTheGamePlyAndHalfMoveClock) {
    Board s;
    EngineState& e = s.e();
    ASSERT_TRUE(s.set("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 37 60"));
    EXPECT_EQ(e.gamePly, 119);
    EXPECT_EQ(e.gameMoves[118][8], 37);
    ASSERT_TRUE(s.set("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 37 60"));
    EXPECT_EQ(e.gamePly, 120);
    EXPECT_EQ(e.gameMoves[119][8], 37);
    // Up to three digits of the clock and four of the move number are read.
    ASSERT_TRUE(s.set("4k3/8/8/8/8/8/8/4K3 w - - 149 1234"));
    EXPECT_EQ(e.gamePly, 2467);
    EXPECT_EQ(e.gameMoves[2466][8], 149);

    // The clock goes on from the set-up value: a quiet knight move records 38, a pawn move 0.
    Harness h;
    h.handshake();
    auto out = h.send({"setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 37 60",
                       "force", "usermove g1f3"});
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(h.engine().gamePly, 120);
    EXPECT_EQ(h.engine().gameMoves[119][8], 38);
    h.send({"usermove b8c6"});
    EXPECT_EQ(h.engine().gameMoves[120][8], 39);
    h.send({"usermove e2e4"});
    EXPECT_EQ(h.engine().gameMoves[121][8], 0);
}

// A move number far beyond what the per-ply tables hold still counts in the budget and the
// game goes on.
TEST(FenSetup, VeryHighMoveNumbers) {
    Harness h;
    h.handshake();
    EngineState& e = h.engine();
    auto out = h.send(
        {"setboard 4k3/8/8/8/8/8/4P3/4K3 w - - 12 9999", "force", "level 40 5 0", "time 10100"});
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(e.positionHeld);
    EXPECT_EQ(gamePlyNumber(e), 19997);
    EXPECT_EQ(e.gameMoves[e.gamePly - 1][8], 12);
    // The time control counts from the set-up position: 40 moves are left in the period.
    EXPECT_DOUBLE_EQ(e.moveBudgetCs, 250.0);
    out = h.send({"usermove e1d1", "usermove e8d8", "usermove e2e4"});
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(gamePlyNumber(e), 20000);
    EXPECT_EQ(e.gameMoves[e.gamePly - 1][8], 0);
    EXPECT_EQ(e.gameMoves[e.gamePly - 2][8], 14);
    EXPECT_EQ(invariantViolations(e), "");
}

TEST(FenSetup, PlacementOnlyKeepsTheSideAndGrantsNothing) {
    Board s;
    EngineState& e = s.e();
    ASSERT_TRUE(s.set("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 5 30"));
    ASSERT_EQ(e.sideToMove, -1);
    ASSERT_TRUE(s.set("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR"));
    EXPECT_EQ(e.sideToMove, -1);
    EXPECT_EQ(e.pieceKind[13], 9);
    EXPECT_EQ(e.pieceKind[-13], -9);
    EXPECT_EQ(e.gamePly, 1);
    EXPECT_EQ(e.gameMoves[0][8], 0);
    EXPECT_EQ(e.epInfo[1], 0);
    EXPECT_EQ(invariantViolations(e), "");

    ASSERT_TRUE(s.set("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w"));
    EXPECT_EQ(e.sideToMove, 1);
    // A side field of another letter also keeps the side.
    ASSERT_TRUE(s.set("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq"));
    EXPECT_EQ(e.sideToMove, 1);
    EXPECT_EQ(e.pieceKind[13], 6);
}

TEST(FenSetup, CastlingFieldGivesTheKingsTheirKinds) {
    Board s;
    EngineState& e = s.e();
    struct Case {
        const char* rights;
        int white, black;
    };
    for (const Case& c : {Case{"KQkq", 6, -6}, Case{"K", 7, -9}, Case{"Q", 8, -9},
                          Case{"kq", 9, -6}, Case{"k", 9, -7}, Case{"q", 9, -8}, Case{"-", 9, -9},
                          Case{"Kq", 7, -8}, Case{"qkQK", 6, -6}}) {
        ASSERT_TRUE(s.set(std::string("r3k2r/8/8/8/8/8/8/R3K2R w ") + c.rights + " - 0 1"));
        EXPECT_EQ(e.pieceKind[13], c.white) << c.rights;
        EXPECT_EQ(e.pieceKind[-13], c.black) << c.rights;
    }
}

// A rook whose castling right is granted takes 9 (a-side) or 16
// (h-side) whatever the order in which the text lists the rooks.
TEST(FenSetup, CastlingRooksGetTheirCornerIndices) {
    Board s;
    EngineState& e = s.e();
    ASSERT_TRUE(s.set("4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1"));
    EXPECT_EQ(at(e, "a1"), 9);
    EXPECT_EQ(at(e, "h1"), 16);

    // An extra white rook on e8 is listed first.
    ASSERT_TRUE(s.set("4R3/8/6k1/8/8/8/8/R3K2R w KQ - 0 1"));
    EXPECT_EQ(at(e, "a1"), 9);
    EXPECT_EQ(at(e, "h1"), 16);
    EXPECT_EQ(at(e, "e8"), 1);
    EXPECT_EQ(e.pieceKind[13], 6);
    EXPECT_EQ(invariantViolations(e), "");

    // Only the kingside right: h1 is 16, the first other rook 9, then the pawn counter.
    ASSERT_TRUE(s.set("4R3/8/6k1/8/8/8/8/R3K2R w K - 0 1"));
    EXPECT_EQ(at(e, "h1"), 16);
    EXPECT_EQ(at(e, "e8"), 9);
    EXPECT_EQ(at(e, "a1"), 1);
    EXPECT_EQ(e.pieceKind[13], 7);

    // Only the queenside right: a1 is 9, e8 takes 16.
    ASSERT_TRUE(s.set("4R3/8/6k1/8/8/8/8/R3K2R w Q - 0 1"));
    EXPECT_EQ(at(e, "a1"), 9);
    EXPECT_EQ(at(e, "e8"), 16);
    EXPECT_EQ(at(e, "h1"), 1);

    // Black: a rook on b8 comes between a8 and h8.
    ASSERT_TRUE(s.set("rr2k2r/ppppppp1/8/8/8/8/8/4K3 b kq - 0 1"));
    EXPECT_EQ(at(e, "a8"), -9);
    EXPECT_EQ(at(e, "h8"), -16);
    EXPECT_EQ(at(e, "b8"), -1);
    EXPECT_EQ(at(e, "a7"), -2);
    EXPECT_EQ(at(e, "g7"), -8);
    EXPECT_EQ(e.pieceKind[-13], -6);
    EXPECT_EQ(invariantViolations(e), "");

    // Without castling rights the rooks are numbered in the order they are listed.
    ASSERT_TRUE(s.set("rr2k2r/ppppppp1/8/8/8/8/8/4K3 b - - 0 1"));
    EXPECT_EQ(at(e, "a8"), -9);
    EXPECT_EQ(at(e, "b8"), -16);
    EXPECT_EQ(at(e, "h8"), -1);
}

// The castling rook's index decides which right a rook move takes away and which rook comes
// back when castling is taken back; a game through the protocol shows the first.
TEST(FenSetup, CastlingAfterSetUpMovesTheCornerRook) {
    Harness h;
    h.handshake();
    EngineState& e = h.engine();
    auto out = h.send({"setboard 4R3/8/6k1/8/8/8/8/R3K2R w KQ - 0 1", "force", "usermove e8e7",
                       "usermove g6f6", "usermove e1g1"});
    EXPECT_TRUE(out.empty()) << out.front();
    EXPECT_EQ(at(e, "f1"), 16);
    EXPECT_EQ(at(e, "g1"), 13);
    EXPECT_EQ(at(e, "e7"), 1);
    EXPECT_EQ(at(e, "h1"), 0);
    EXPECT_EQ(e.pieceKind[13], 9);
    EXPECT_EQ(invariantViolations(e), "");

    // The extra rook leaving the back rank takes no right; the a1 rook takes the queenside one.
    out = h.send({"setboard 4R3/8/6k1/8/8/8/8/R3K2R w KQ - 0 1", "usermove e8d8", "usermove g6g5"});
    EXPECT_EQ(e.pieceKind[13], 6);
    h.send({"usermove a1a2", "usermove g5g6"});
    EXPECT_EQ(e.pieceKind[13], 7);
    out = h.send({"usermove e1c1"});
    EXPECT_EQ(out, (std::vector<std::string>{"Illegal move: e1c1"}));
    out = h.send({"usermove e1g1"});
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(at(e, "f1"), 16);
}

// ---------------------------------------------------------------------------------------------
// Refused texts

TEST(FenSetup, PositionsTheEngineCannotHoldAreRefused) {
    const std::vector<std::string> refused = {
        "",
        " ",
        // Not 8 ranks of 8 squares.
        "rnbqkbnr/pppppppp/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/ppppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/ppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/ w KQkq - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN w KQkq - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNRR w KQkq - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP//RNBQKBNR w KQkq - 0 1",
        "8/8/8/8/8/8/8/8 w - - 0 1",
        // Kings: none, two, or one side without.
        "rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQ - 0 1",
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQ1BNR b kq - 0 1",
        "4k3/8/8/8/8/8/8/3KK3 w - - 0 1",
        "3kk3/8/8/8/8/8/8/4K3 w - - 0 1",
        // Pawns on the first or last rank.
        "P3k3/8/8/8/8/8/8/4K3 w - - 0 1",
        "4k3/8/8/8/8/8/8/p3K3 w - - 0 1",
        "4k2p/8/8/8/8/8/8/4K3 w - - 0 1",
        "4k3/8/8/8/8/8/8/4K2P w - - 0 1",
        // More than 8 pawns plus extra pieces, or more than 16 pieces, of one colour.
        "3qk3/8/8/8/8/8/PPPPPPPP/2QQK3 w - - 0 1",
        "4k3/8/8/8/8/8/PPPPPPPP/1NN1KN2 w - - 0 1",
        "4k3/8/8/8/8/2B5/PPPPPPPP/2B1K3 w - - 0 1",
        "4k3/8/8/8/8/R7/PPPPPPPP/R3K2R w - - 0 1",
        "rnbqkbnr/pppppppp/n7/8/8/8/8/4K3 w - - 0 1",
        "4k3/8/8/8/8/QQQQQQQQ/QQQQQQQQ/4K3 w - - 0 1",
        // The side not to move is in check.
        "4k3/8/8/8/8/8/4R3/4K3 w - - 0 1",
        "4k3/8/8/8/8/8/4r3/4K3 b - - 0 1",
        "4k3/3P4/8/8/8/8/8/4K3 w - - 0 1",
        "4k3/8/5N2/8/8/8/8/4K3 w - - 0 1",
        "4k3/8/8/8/B7/8/8/4K3 w - - 0 1",
        "8/8/8/8/8/8/3k4/4K3 w - - 0 1",
        "4k3/8/8/8/Q7/8/8/4K3 w - - 0 1",
    };
    for (const std::string& fen : refused) {
        Board s;
        EXPECT_FALSE(s.set(fen)) << fen;
        EXPECT_FALSE(s.e().positionHeld) << fen;
        EXPECT_TRUE(emptyPosition(s.e())) << fen << ": a refused text left pieces behind";
    }
    // The limits themselves are accepted.
    for (const char* fen :
         {"4k3/8/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1", "4k3/8/8/8/8/8/PPPPPPP1/RNBQKBNR w - - 0 1",
          "4k3/8/8/8/8/8/QQQQQQQQ/RNBQKBNR b - - 0 1",
          "rnbqkbnr/pppppppp/44/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
          "4k3/8/8/8/8/1Q6/PPPPPPP1/RNBQKBNR w - - 0 1", "4k3/8/8/8/8/8/4R3/4K3 b - - 0 1",
          "4k3/8/8/8/8/8/4r3/4K3 w - - 0 1"}) {
        Board s;
        EXPECT_TRUE(s.set(fen)) << fen;
        EXPECT_EQ(invariantViolations(s.e()), "") << fen;
    }
}

TEST(FenSetup, RefusedSetboardIsReportedAndLeavesNoPosition) {
    Harness h;
    h.handshake();
    EngineState& e = h.engine();
    h.send({"new", "force", "usermove e2e4"});
    auto out = h.send({"setboard 4k3/8/8/8/8/8/4R3/4K3 w - - 0 1"});
    EXPECT_EQ(out, (std::vector<std::string>{"tellusererror Illegal position"}));
    EXPECT_FALSE(e.positionHeld);
    EXPECT_TRUE(emptyPosition(e));
    out = h.send({"usermove e7e5", "go"});
    EXPECT_EQ(out, (std::vector<std::string>{"Illegal move: e7e5"}));
    EXPECT_EQ(e.engineState, 0);
    // A valid setboard brings a position back.
    out = h.send({"setboard 4k3/8/8/8/8/8/4R3/4K3 b - - 0 1", "force", "usermove e8d8"});
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(e.positionHeld);
    EXPECT_EQ(at(e, "d8"), -13);
}

// ---------------------------------------------------------------------------------------------
// Lenient reading

TEST(FenSetup, CastlingLettersNeedKingAndRookAtHome) {
    Board s;
    EngineState& e = s.e();
    // No h1 rook: only the queenside right is granted; Black has no rooks at all.
    ASSERT_TRUE(s.set("4k3/8/8/8/8/8/8/R3K3 w KQkq - 0 1"));
    EXPECT_EQ(e.pieceKind[13], 8);
    EXPECT_EQ(e.pieceKind[-13], -9);
    // Kings away from e1 / e8.
    ASSERT_TRUE(s.set("r2k3r/8/8/8/8/8/8/R2K3R w KQkq - 0 1"));
    EXPECT_EQ(e.pieceKind[13], 9);
    EXPECT_EQ(e.pieceKind[-13], -9);
    // A rook of the wrong colour in the corner.
    ASSERT_TRUE(s.set("Rn2k2r/8/8/8/8/8/8/rN2K2R b KQkq - 0 1"));
    EXPECT_EQ(e.pieceKind[13], 7);
    EXPECT_EQ(e.pieceKind[-13], -7);
    // A knight in the corner.
    ASSERT_TRUE(s.set("n3k2r/8/8/8/8/8/8/R3K2N w KQkq - 0 1"));
    EXPECT_EQ(e.pieceKind[13], 8);
    EXPECT_EQ(e.pieceKind[-13], -7);
    EXPECT_EQ(invariantViolations(e), "");
}

TEST(FenSetup, EnPassantFieldWithoutSuchAPawnIsIgnored) {
    Board s;
    EngineState& e = s.e();
    const std::vector<std::string> ignored = {
        "4k3/8/8/8/8/8/8/4K3 b - e3 0 1",                                 // no pawn at all
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e3 0 1",    // White to move
        "rnbqkbnr/pppppppp/8/8/4P3/4N3/PPPP1PPP/RNBQKB1R b KQkq e3 0 1",  // passed square taken
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPPNPPP/RNBQKB1R b KQkq e3 0 1",    // start square taken
        "rnbqkbnr/pppp1ppp/8/8/4p3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",    // a black pawn on e4
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e6 0 1",    // wrong rank
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e4 0 1",
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq i3 0 1",
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq 3 0 1",
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e 0 1",
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq d3 0 1",  // the wrong file
    };
    for (const auto& fen : ignored) {
        ASSERT_TRUE(s.set(fen)) << fen;
        for (int k = 1; k <= 4; ++k) EXPECT_EQ(e.epInfo[k], 0) << fen;
        for (int c = 1; c <= 14; ++c) EXPECT_EQ(e.plyRecord[0][c], 0) << fen;
        for (int i = -16; i <= 16; ++i) {
            EXPECT_NE(e.pieceKind[i], 10) << fen;
            EXPECT_NE(e.pieceKind[i], -10) << fen;
        }
        EXPECT_EQ(invariantViolations(e), "") << fen;
    }
}

TEST(FenSetup, MissingMalformedAndSurplusFields) {
    Board s;
    EngineState& e = s.e();
    // A full-move field without a digit, or 0, counts as absent.
    for (const char* fen : {"4k3/8/8/8/8/8/8/4K3 w - - 5 x", "4k3/8/8/8/8/8/8/4K3 w - - 5 0",
                            "4k3/8/8/8/8/8/8/4K3 w - - 5 ", "4k3/8/8/8/8/8/8/4K3 w - - 5",
                            "4k3/8/8/8/8/8/8/4K3 b - - 5 -3"}) {
        ASSERT_TRUE(s.set(fen)) << fen;
        EXPECT_EQ(e.gamePly, 1) << fen;
        EXPECT_EQ(e.gameMoves[0][8], 5) << fen;
    }
    // Digits are read up to the first other character.
    ASSERT_TRUE(s.set("4k3/8/8/8/8/8/8/4K3 w - - 12abc 7x"));
    EXPECT_EQ(e.gamePly, 13);
    EXPECT_EQ(e.gameMoves[12][8], 12);
    ASSERT_TRUE(s.set("4k3/8/8/8/8/8/8/4K3 w - - x 7"));
    EXPECT_EQ(e.gameMoves[12][8], 0);
    // Surplus fields and blanks are accepted; piece letters count only in the placement.
    ASSERT_TRUE(s.set("4k3/8/8/8/8/8/8/4K3 w - - 0 9 RNP qq extra"));
    EXPECT_EQ(e.gamePly, 17);
    EXPECT_EQ(e.sideToMove, 1);
    for (int k = 1; k <= 5; ++k) {
        EXPECT_EQ(material(e, k), 0);
        EXPECT_EQ(material(e, -k), 0);
    }
    for (int i = -16; i <= 16; ++i)
        if (i != 13 && i != -13 && i != 0) {
            EXPECT_EQ(e.pieceKind[i], 0) << i;
        }
    // Castling and en-passant fields place no pieces either.
    ASSERT_TRUE(s.set("4k3/8/8/8/8/8/8/4K3 b KQkqRNBP p3 0 1"));
    for (int k = 1; k <= 5; ++k) EXPECT_EQ(material(e, k), 0);
    EXPECT_EQ(e.pieceKind[13], 9);
    EXPECT_EQ(invariantViolations(e), "");
}

// The set-up position has a key of its own: the sum of the terms of every piece.
TEST(FenSetup, SetUpPositionGetsTheKeyOfItsPieces) {
    Board s;
    EngineState& e = s.e();
    for (const char* fen : {kStart, "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
                            "4k3/8/8/8/8/8/8/4K3 w - - 12 40"}) {
        ASSERT_TRUE(s.set(fen));
        double sum = 0.0;
        for (int f = 1; f <= 8; ++f)
            for (int r = 1; r <= 8; ++r)
                if (e.board[f][r] != 0) sum += keyTerm(e, e.pieceKind[e.board[f][r]], f, r);
        const int row = e.gamePly - 1;
        EXPECT_NE(e.positionKey[row][1], 0.0) << fen;
        EXPECT_NEAR(e.positionKey[row][1], sum, 1e-9 * std::abs(sum)) << fen;
        EXPECT_EQ(e.positionKey[row][2], keyDigest(e.positionKey[row][1])) << fen;
    }
    // Different positions get different keys; the same position the same key.
    ASSERT_TRUE(s.set(kStart));
    const double start = e.positionKey[0][1];
    ASSERT_TRUE(s.set("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w Kkq - 0 1"));
    const double fewerRights = e.positionKey[0][1];
    ASSERT_TRUE(s.set("rnbqkbnr/pppppppp/8/8/8/5N2/PPPPPPPP/RNBQKB1R w KQkq - 0 1"));
    const double knight = e.positionKey[0][1];
    ASSERT_TRUE(s.set(kStart));
    EXPECT_EQ(e.positionKey[0][1], start);
    EXPECT_NE(start, knight);
    EXPECT_NE(start, fewerRights) << "the king's kind (its castling rights) is part of the key";
}

}  // namespace
}  // namespace qm::test

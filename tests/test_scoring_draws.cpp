// Scoring (material, mate and stalemate at a ply, the in-check test), the king-and-two-knights
// tables, and the three draw rules applied after a move of the search: fifty moves, threefold
// repetition by position key (with the set-up position counting once), insufficient material.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "board/candidates.h"
#include "board/make_move.h"
#include "search/draw_rules.h"
#include "search/evaluation.h"
#include "search/knight_pairs.h"
#include "search/take_back.h"
#include "support/harness.h"

namespace qm::test {
namespace {

// A position on a fresh engine, by FEN.
struct Position {
    explicit Position(const std::string& fen, std::uint64_t seed = 12345) : h(seed) {
        h.initialise();
        ok = h.setPosition(fen);
    }
    EngineState& e() { return h.engine(); }
    Harness h;
    bool ok = false;
};

// Plays lines through the protocol in force mode; returns the output.
std::vector<std::string> playForced(Harness& h, const std::string& start,
                                    const std::vector<std::string>& moves) {
    std::vector<std::string> lines;
    if (start == "new")
        lines = {"new", "force"};
    else
        lines = {"force", "setboard " + start};
    for (const auto& m : moves) lines.push_back("usermove " + m);
    return h.send(lines);
}

// Makes the move written in coordinates at search ply p for the side to move, as the search
// would: the move maker, the kind after the move, then the three draw rules in their order.
// Returns false when the move is not legal.
bool searchMove(EngineState& e, int p, const std::string& move) {
    const int ff = move[0] - 'a' + 1, fr = move[1] - '0';
    const int tf = move[2] - 'a' + 1, tr = move[3] - '0';
    int promotion = 0;
    if (move.size() == 5) {
        const std::string letters = "nbrq";
        promotion = static_cast<int>(letters.find(move[4])) + 2;
    }
    if (!makeBySquares(e, p, ff, fr, tf, tr, promotion)) return false;
    fiftyMoveCheck(e, p);
    repetitionCheck(e, p);
    materialDrawCheck(e);
    return true;
}

// Starts a search path at the game position: the root's half-move clock in row 0, flags clear.
void startPath(EngineState& e) {
    e.engineSide = e.sideToMove;
    e.iterationDepth = 1;
    e.repetitionFlags.clear();
    e.fiftyMoveFlag = 0;
    e.materialDrawFlag = 0;
    e.plyRecord[0][kRecHalfMoveClock] = e.gameMoves[e.gamePly - 1][8];
}

// ---------------------------------------------------------------------------------------------
// Scoring
// ---------------------------------------------------------------------------------------------

TEST(Scoring, MaterialScore) {
    struct Case {
        const char* fen;
        int score;
    };
    for (const Case& c : {
             Case{"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 0},
             Case{"4k3/8/8/8/8/8/8/3QK3 w - - 0 1", 900},
             Case{"3qk3/8/8/8/8/8/8/4K3 w - - 0 1", -900},
             // Two bishops on dark squares, on both colours, on light squares.
             Case{"4k3/8/8/8/8/B7/8/2B1K3 w - - 0 1", 600},
             Case{"4k3/8/8/8/8/8/8/2b1Kb2 w - - 0 1", -600},
             Case{"2b1k3/1b6/8/8/8/8/8/4K3 w - - 0 1", -600},
             Case{"4k3/pp6/8/8/8/8/8/RN2K3 w - - 0 1", 600},
             Case{"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 0},
             Case{"4k3/8/8/8/8/8/8/R3K2R w KQ - 0 1", 1000},
         }) {
        SCOPED_TRACE(c.fen);
        Position pos(c.fen);
        ASSERT_TRUE(pos.ok);
        auto& e = pos.e();
        e.currentScore = 12345;
        scorePosition(e, 1, ScoreKind::kMaterial);
        EXPECT_EQ(e.currentScore, c.score);
    }
}

TEST(Scoring, PawnMarkedForEnPassantStillCounts) {
    Position pos("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
    ASSERT_TRUE(pos.ok);
    auto& e = pos.e();
    startPath(e);
    ASSERT_TRUE(searchMove(e, 1, "e2e4"));
    ASSERT_EQ(e.pieceKind[e.board[5][4]], 10);
    scorePosition(e, 1, ScoreKind::kMaterial);
    EXPECT_EQ(e.currentScore, 100);
}

TEST(Scoring, MateAndStalemateAtAPly) {
    struct Case {
        const char* fen;  // the position after the move of ply p, its victim to move
        int mover;        // colour that made the move of ply p
        bool mate;
    };
    for (const Case& c : {
             Case{"R5k1/5ppp/8/8/8/8/5PPP/6K1 b - - 0 1", 1, true},
             Case{"6k1/5ppp/8/8/8/8/5PPP/r5K1 w - - 0 1", -1, true},
             Case{"k7/8/1Q6/8/8/8/8/7K b - - 0 1", 1, false},
             Case{"7k/8/8/8/8/1q6/8/K7 w - - 0 1", -1, false},
         }) {
        SCOPED_TRACE(c.fen);
        Position pos(c.fen);
        ASSERT_TRUE(pos.ok);
        auto& e = pos.e();
        e.sideToMove = c.mover;
        int check = 0;
        inCheckTest(e, check);
        EXPECT_EQ(check, c.mate ? 2 : 1);
        EXPECT_EQ(e.sideToMove, c.mover);
        for (int p : {1, 2, 3, 7, 39}) {
            e.legalMovesAtPly.clear();
            e.currentScore = 12345;
            scorePosition(e, p, ScoreKind::kMateOrStalemate);
            EXPECT_EQ(e.currentScore, c.mate ? c.mover * (100000 - p) : 0) << "ply " << p;
            EXPECT_EQ(e.sideToMove, c.mover);
            // With a legal move at the next ply there is nothing to score.
            e.legalMovesAtPly[p + 1] = 1;
            e.currentScore = 12345;
            scorePosition(e, p, ScoreKind::kMateOrStalemate);
            EXPECT_EQ(e.currentScore, 12345);
        }
    }
    // The opponent of a White engine mating at ply 2.
    Position pos("6k1/5ppp/8/8/8/8/5PPP/r5K1 w - - 0 1");
    auto& e = pos.e();
    e.sideToMove = -1;
    e.legalMovesAtPly.clear();
    scorePosition(e, 2, ScoreKind::kMateOrStalemate);
    EXPECT_EQ(e.currentScore, -99998);
}

TEST(Scoring, InCheckTestLooksAtTheSideToMoveNext) {
    // White gives check with the rook; the test is about Black when White has just moved.
    Position pos("4k3/8/8/8/8/8/8/R3K2r w - - 0 1");
    ASSERT_TRUE(pos.ok);
    auto& e = pos.e();
    int result = 0;
    e.sideToMove = -1;  // Black has just moved: is White in check? Yes, from h1.
    inCheckTest(e, result);
    EXPECT_EQ(result, 2);
    e.sideToMove = 1;  // White has just moved: is Black in check? No.
    inCheckTest(e, result);
    EXPECT_EQ(result, 1);
}

// ---------------------------------------------------------------------------------------------
// King and two knights
// ---------------------------------------------------------------------------------------------

std::int64_t weightedSum(const int* values, int n) {
    std::int64_t sum = 0;
    for (int i = 0; i < n; ++i)
        sum = (sum + static_cast<std::int64_t>(i + 1) * values[i]) % 1000000007;
    return sum;
}

TEST(KnightPairs, TablesHoldTheBuiltInListsInOrder) {
    KnightPairTables t;
    fillKnightPairTables(t);
    int mated[56], mateInOne[232];
    for (int i = 1; i <= 56; ++i) mated[i - 1] = t.knightPairMated[i];
    for (int i = 1; i <= 232; ++i) mateInOne[i - 1] = t.knightPairMateInOne[i];

    EXPECT_EQ(mated[0], 11133323);
    EXPECT_EQ(mated[28], 81616362);
    EXPECT_EQ(mated[55], 88866676);
    EXPECT_EQ(mateInOne[0], 11133315);
    EXPECT_EQ(mateInOne[99], 18373845);
    EXPECT_EQ(mateInOne[115], 18383658);
    EXPECT_EQ(mateInOne[231], 88866684);
    // Every entry, in place: position-weighted sums of the two lists.
    EXPECT_EQ(weightedSum(mated, 56), 819523302);
    EXPECT_EQ(weightedSum(mateInOne, 232), 423177213);

    for (int i = 1; i < 56; ++i) EXPECT_LT(mated[i - 1], mated[i]) << "entry " << i;
    for (int i = 1; i < 232; ++i) EXPECT_LT(mateInOne[i - 1], mateInOne[i]) << "entry " << i;
    // Four corner groups of equal size.
    int groups[2][4] = {};
    const int corners[4] = {11, 18, 81, 88};
    for (int k = 0; k < 4; ++k) {
        for (int v : mated) groups[0][k] += v / 1000000 == corners[k];
        for (int v : mateInOne) groups[1][k] += v / 1000000 == corners[k];
        EXPECT_EQ(groups[0][k], 14);
        EXPECT_EQ(groups[1][k], 58);
    }
}

TEST(KnightPairs, MatchingIgnoresTheOrderOfTheKnights) {
    KnightPairTables t;
    fillKnightPairTables(t);
    EXPECT_TRUE(knightPairFound(t.knightPairMated, 11133323));
    EXPECT_TRUE(knightPairFound(t.knightPairMated, 11132333));
    EXPECT_TRUE(knightPairFound(t.knightPairMateInOne, 11133315));
    EXPECT_TRUE(knightPairFound(t.knightPairMateInOne, 11131533));
    // Same kings, other knights; and a position in neither table.
    EXPECT_FALSE(knightPairFound(t.knightPairMated, 11133315));
    EXPECT_FALSE(knightPairFound(t.knightPairMateInOne, 11133323));
    EXPECT_FALSE(knightPairFound(t.knightPairMated, 44662324));
    EXPECT_FALSE(knightPairFound(t.knightPairMateInOne, 44662324));
    // Kings exchanged.
    EXPECT_FALSE(knightPairFound(t.knightPairMated, 13113323));
}

// materialDrawCheck with `justMoved` as the side that made the last move.
int drawFlagAfterMoveBy(EngineState& e, int justMoved) {
    e.sideToMove = justMoved;
    e.currentScore = 12345;
    materialDrawCheck(e);
    if (e.materialDrawFlag == 1) {
        EXPECT_EQ(e.currentScore, 0);
    }
    return e.materialDrawFlag;
}

TEST(KnightPairs, TableChosenByTheSideToMoveNext) {
    struct Case {
        const char* fen;
        int bareSideNextFlag;     // flag when the lone king's side moves next
        int knightsSideNextFlag;  // flag when the knights' side moves next
    };
    for (const Case& c : {
             // Mated: king a1, king a3, knights b3 and c3 (met b3 first; listed c3 first).
             Case{"8/8/8/8/8/KNN5/8/k7 b - - 0 1", 0, 1},
             // Mated, the knights met in the order the entry lists them: a3 then c2.
             Case{"8/8/8/8/8/NK6/2N5/k7 b - - 0 1", 0, 1},
             // The knights mate next move: king a1, king a3, knights c3 and a5.
             Case{"8/8/8/N7/8/K1N5/8/k7 w - - 0 1", 1, 0},
             // In the middle of the board: in neither table.
             Case{"8/8/8/3k4/8/8/2NNK3/8 w - - 0 1", 1, 1},
             // Colours exchanged: the tables are keyed by squares, not colours.
             Case{"K7/8/k1n5/8/n7/8/8/8 b - - 0 1", 1, 0},
         }) {
        SCOPED_TRACE(c.fen);
        Position pos(c.fen);
        ASSERT_TRUE(pos.ok);
        auto& e = pos.e();
        const int bare = e.materialCount[2][1] == 2 ? -1 : 1;
        // The lone side moves next when the knights' side has just moved, and vice versa.
        EXPECT_EQ(drawFlagAfterMoveBy(e, -bare), c.bareSideNextFlag);
        EXPECT_EQ(drawFlagAfterMoveBy(e, bare), c.knightsSideNextFlag);
    }
}

TEST(KnightPairs, KingWithACastlingRightIsNotSeen) {
    for (int kind : {6, 7, 8}) {
        Position pos("8/8/8/8/8/KNN5/8/k7 b - - 0 1");
        ASSERT_TRUE(pos.ok);
        auto& e = pos.e();
        ASSERT_EQ(drawFlagAfterMoveBy(e, 1), 0);
        const int whiteKing = e.pieceIndexOf[13];
        e.pieceKind[whiteKing] = kind;
        EXPECT_EQ(drawFlagAfterMoveBy(e, 1), 1) << "White king kind " << kind;
        e.pieceKind[whiteKing] = 9;
        e.pieceKind[-whiteKing] = -kind;
        EXPECT_EQ(drawFlagAfterMoveBy(e, 1), 1) << "Black king kind " << -kind;
    }
}

// ---------------------------------------------------------------------------------------------
// Fifty moves
// ---------------------------------------------------------------------------------------------

TEST(FiftyMoves, QuietMoveAtNinetyNineDraws) {
    const std::string fen = "6k1/P4ppp/8/8/8/8/r4PPP/R5K1 w - - 99 60";
    struct Case {
        const char* move;
        int clock;
        int flag;
    };
    for (const Case& c : {
             Case{"a1b1", 100, 1},  // rook
             Case{"g1f1", 100, 1},  // king
             Case{"a1a2", 0, 0},    // capture
             Case{"f2f3", 0, 0},    // pawn
             Case{"h2h4", 0, 0},    // two squares
             Case{"a7a8q", 0, 0},   // promotion
             Case{"a7a8n", 0, 0},   // promotion
         }) {
        SCOPED_TRACE(c.move);
        Position pos(fen);
        ASSERT_TRUE(pos.ok);
        auto& e = pos.e();
        startPath(e);
        ASSERT_EQ(e.plyRecord[0][kRecHalfMoveClock], 99);
        e.currentScore = 12345;
        ASSERT_TRUE(searchMove(e, 1, c.move));
        EXPECT_EQ(e.plyRecord[1][kRecHalfMoveClock], c.clock);
        EXPECT_EQ(e.fiftyMoveFlag, c.flag);
        if (c.flag == 1) {
            EXPECT_EQ(e.currentScore, 0);
        }
        takeBackMove(e, 1);
        EXPECT_EQ(e.fiftyMoveFlag, 0);
    }
}

TEST(FiftyMoves, ClockRunsAlongTheSearchPath) {
    for (int start : {97, 98}) {
        Position pos("6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - " + std::to_string(start) + " 60");
        ASSERT_TRUE(pos.ok);
        auto& e = pos.e();
        startPath(e);
        ASSERT_TRUE(searchMove(e, 1, "a1b1"));
        EXPECT_EQ(e.plyRecord[1][kRecHalfMoveClock], start + 1);
        EXPECT_EQ(e.fiftyMoveFlag, 0);
        e.sideToMove = -e.sideToMove;
        ASSERT_TRUE(searchMove(e, 2, "g8f8"));
        EXPECT_EQ(e.plyRecord[2][kRecHalfMoveClock], start + 2);
        EXPECT_EQ(e.fiftyMoveFlag, start + 2 >= 100 ? 1 : 0);
        takeBackMove(e, 2);
        // A pawn move at ply 2 restarts the count.
        ASSERT_TRUE(searchMove(e, 2, "h7h6"));
        EXPECT_EQ(e.plyRecord[2][kRecHalfMoveClock], 0);
        EXPECT_EQ(e.fiftyMoveFlag, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Repetition
// ---------------------------------------------------------------------------------------------

const char* kShuffle = "4k2n/8/8/8/8/8/Q7/4K3 w - - 0 40";

TEST(Repetition, TwiceBeforeIsADrawOnceIsNot) {
    for (std::uint64_t seed : {1u, 2u, 3u, 4u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        {
            // The set-up position once before: not a draw.
            Harness h(seed);
            h.initialise();
            ASSERT_TRUE(playForced(h, kShuffle, {"e1d1", "h8g6", "d1e1"}).empty());
            auto& e = h.engine();
            startPath(e);
            ASSERT_TRUE(searchMove(e, 1, "g6h8"));
            EXPECT_EQ(e.repetitionFlags[1], 0);
            EXPECT_EQ(e.repetitionFlags[0], 0);
        }
        {
            // Twice before: a draw at the first ply.
            Harness h(seed);
            h.initialise();
            ASSERT_TRUE(
                playForced(h, kShuffle, {"e1d1", "h8g6", "d1e1", "g6h8", "e1d1", "h8g6", "d1e1"})
                    .empty());
            auto& e = h.engine();
            startPath(e);
            e.currentScore = 12345;
            ASSERT_TRUE(searchMove(e, 1, "g6h8"));
            EXPECT_EQ(e.repetitionFlags[1], 1);
            EXPECT_EQ(e.repetitionFlags[0], 1);
            EXPECT_EQ(e.currentScore, 0);
            takeBackMove(e, 1);
            EXPECT_EQ(e.repetitionFlags[1], 0);
        }
        {
            // The third occurrence reached inside the search, at the third ply; the flags of the
            // path are summed in entry 0.
            Harness h(seed);
            h.initialise();
            ASSERT_TRUE(playForced(h, kShuffle, {"e1d1", "h8g6", "d1e1", "g6h8", "e1d1"}).empty());
            auto& e = h.engine();
            startPath(e);
            ASSERT_TRUE(searchMove(e, 1, "h8g6"));
            EXPECT_EQ(e.repetitionFlags[0], 0);
            e.sideToMove = -e.sideToMove;
            ASSERT_TRUE(searchMove(e, 2, "d1e1"));
            EXPECT_EQ(e.repetitionFlags[0], 0);
            e.sideToMove = -e.sideToMove;
            ASSERT_TRUE(searchMove(e, 3, "g6h8"));
            EXPECT_EQ(e.repetitionFlags[3], 1);
            EXPECT_EQ(e.repetitionFlags[1] + e.repetitionFlags[2], 0);
            EXPECT_EQ(e.repetitionFlags[0], 1);
            // Another third-ply move: no repetition.
            takeBackMove(e, 3);
            ASSERT_TRUE(searchMove(e, 3, "g6f4"));
            EXPECT_EQ(e.repetitionFlags[0], 0);
        }
    }
}

TEST(Repetition, OccurrenceWithAnEnPassantChanceIsNotCounted) {
    const std::vector<std::string> moves = {"e2e4", "g8f6", "g1f3", "f6g8",
                                            "f3g1", "g8f6", "g1f3", "f6g8"};
    struct Case {
        const char* fen;
        int flag;
    };
    for (const Case& c : {
             // The black pawn on d4 could have taken e4 en passant right after e2e4.
             Case{"4k1n1/8/8/8/3p4/8/4P3/4K1N1 w - - 0 30", 0},
             // The same with the black pawn on a4: the first occurrence counts.
             Case{"4k1n1/8/8/8/p7/8/4P3/4K1N1 w - - 0 30", 1},
         }) {
        SCOPED_TRACE(c.fen);
        Harness h(21);
        h.initialise();
        ASSERT_TRUE(playForced(h, c.fen, moves).empty());
        auto& e = h.engine();
        // The row of e2e4 and the row four plies later hold the same key; only the first is
        // marked as reached with an en-passant capture possible.
        const int first = e.gamePly - 8;
        ASSERT_EQ(e.positionKey[first][2], e.positionKey[first + 4][2]);
        EXPECT_EQ(e.positionKey[first][3], c.flag == 0 ? 1.0 : 0.0);
        EXPECT_EQ(e.positionKey[first + 4][3], 0.0);
        startPath(e);
        ASSERT_TRUE(searchMove(e, 1, "f3g1"));
        EXPECT_EQ(e.repetitionFlags[1], c.flag);
    }
}

TEST(Repetition, SetUpPositionCountsOnceAfterNew) {
    for (std::uint64_t seed : {11u, 12u, 13u, 14u, 15u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        {
            Harness h(seed);
            h.initialise();
            ASSERT_TRUE(playForced(h, "new", {"g1f3", "g8f6", "f3g1"}).empty());
            auto& e = h.engine();
            startPath(e);
            ASSERT_TRUE(searchMove(e, 1, "f6g8"));  // the start position a second time
            EXPECT_EQ(e.repetitionFlags[1], 0);
        }
        {
            Harness h(seed);
            h.initialise();
            ASSERT_TRUE(
                playForced(h, "new", {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1"})
                    .empty());
            auto& e = h.engine();
            startPath(e);
            ASSERT_TRUE(searchMove(e, 1, "f6g8"));  // a third time
            EXPECT_EQ(e.repetitionFlags[1], 1);
        }
    }
}

TEST(Repetition, RowsBeforeAMiddlegameSetUpNeverCount) {
    const std::string later = "4k2n/8/8/8/8/8/Q7/4K3 w - - 8 5";
    for (std::uint64_t seed : {31u, 32u, 33u, 34u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        for (int extraCycles : {0, 1}) {
            Harness h(seed);
            h.initialise();
            // An earlier game leaves the same position in rows 0, 4 and 8.
            ASSERT_TRUE(playForced(h, "4k2n/8/8/8/8/8/Q7/4K3 w - - 0 1",
                                   {"e1d1", "h8g6", "d1e1", "g6h8", "e1d1", "h8g6", "d1e1", "g6h8"})
                            .empty());
            // The same position set up again at move 5 (row 8) with a clock of 8, so that the
            // repetition window reaches back over the earlier game's rows.
            std::vector<std::string> moves = {"e1d1", "h8g6", "d1e1"};
            if (extraCycles == 1) moves = {"e1d1", "h8g6", "d1e1", "g6h8", "e1d1", "h8g6", "d1e1"};
            ASSERT_TRUE(playForced(h, later, moves).empty());
            auto& e = h.engine();
            ASSERT_EQ(e.setupRow, 8);
            // The earlier game's rows still hold the position's key.
            ASSERT_EQ(e.positionKey[0][2], e.positionKey[8][2]);
            ASSERT_EQ(e.positionKey[4][2], e.positionKey[8][2]);
            startPath(e);
            ASSERT_TRUE(searchMove(e, 1, "g6h8"));
            // Only the set-up row and later rows count: once before is no draw, twice is.
            EXPECT_EQ(e.repetitionFlags[1], extraCycles);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Insufficient material
// ---------------------------------------------------------------------------------------------

TEST(InsufficientMaterial, DeadAndLivePositions) {
    struct Case {
        const char* fen;
        int flag;
    };
    for (const Case& c : {
             Case{"8/8/4k3/8/8/4K3/8/8 w - - 0 1", 1},      // kings only
             Case{"8/8/4k3/8/8/4KB2/8/8 w - - 0 1", 1},     // bishop, light square
             Case{"8/8/4k3/8/8/3BK3/8/8 w - - 0 1", 1},     // bishop, light square
             Case{"8/8/4k3/8/8/2B1K3/8/8 w - - 0 1", 1},    // bishop, dark square
             Case{"8/8/4kb2/8/8/4K3/8/8 w - - 0 1", 1},     // black bishop
             Case{"8/8/4k3/3b4/8/3BK3/8/8 w - - 0 1", 1},   // both light
             Case{"8/8/4k3/4b3/8/2B1K3/8/8 w - - 0 1", 1},  // both dark
             Case{"8/8/4k3/8/8/2B1K3/1B6/8 w - - 0 1", 1},  // two dark bishops
             Case{"8/8/4k3/3b4/8/2B1K3/8/8 w - - 0 1", 0},  // light against dark
             Case{"8/8/4k3/8/8/2B1KB2/8/8 w - - 0 1", 0},   // a pair on both colours
             Case{"8/8/4k3/8/8/3NK3/8/8 w - - 0 1", 1},     // knight
             Case{"8/8/3nk3/8/8/4K3/8/8 w - - 0 1", 1},     // black knight
             Case{"8/8/3nk3/8/8/3NK3/8/8 w - - 0 1", 0},    // knight against knight
             Case{"8/8/3nk3/8/8/3BK3/8/8 w - - 0 1", 0},    // bishop against knight
             Case{"8/8/4k3/8/8/3RK3/8/8 w - - 0 1", 0},     // rook
             Case{"8/8/4k3/8/8/3PK3/8/8 w - - 0 1", 0},     // pawn
             Case{"8/8/4k3/8/8/2NNK3/8/8 w - - 0 1", 1},    // two knights, not in the tables
         }) {
        SCOPED_TRACE(c.fen);
        Position pos(c.fen);
        ASSERT_TRUE(pos.ok);
        auto& e = pos.e();
        EXPECT_EQ(drawFlagAfterMoveBy(e, 1), c.flag);
        EXPECT_EQ(drawFlagAfterMoveBy(e, -1), c.flag);
    }
}

TEST(InsufficientMaterial, CaptureOnTheSearchPathLeavesAKnight) {
    Position pos("8/8/4k3/8/3p4/3NK3/8/8 w - - 0 1");
    ASSERT_TRUE(pos.ok);
    auto& e = pos.e();
    startPath(e);
    ASSERT_TRUE(searchMove(e, 1, "e3d4"));
    EXPECT_EQ(e.materialDrawFlag, 1);
    takeBackMove(e, 1);
    EXPECT_EQ(e.materialDrawFlag, 0);
    ASSERT_TRUE(searchMove(e, 1, "e3f3"));
    EXPECT_EQ(e.materialDrawFlag, 0);
}

}  // namespace
}  // namespace qm::test

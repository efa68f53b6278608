// Taking moves back ("undo", "remove") and games longer than the per-ply tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board/game_record.h"
#include "support/harness.h"

namespace qm::test {
namespace {

// What a take-back must restore: the position with its castling and en-passant state, the
// counters and the game record rows up to the current ply.
struct GameView {
    std::string board;
    int gamePly, sideToMove, whiteKing, blackKing, epFile, epRank, halfMoves;
    std::vector<double> keys;
    std::vector<int> moves;
    int rowZeroDoubleStep, rowZeroTo;

    explicit GameView(EngineState& e)
        : board(boardText(e)),
          gamePly(e.gamePly),
          sideToMove(e.sideToMove),
          whiteKing(e.pieceKind[e.pieceIndexOf[13]]),
          blackKing(e.pieceKind[-e.pieceIndexOf[13]]),
          epFile(e.epInfo[1]),
          epRank(e.epInfo[2]),
          halfMoves(e.gameMoves[e.gamePly - 1][8]),
          rowZeroDoubleStep(e.plyRecord[0][5]),
          rowZeroTo(e.plyRecord[0][8] * 10 + e.plyRecord[0][9]) {
        for (int row = e.setupRow; row < e.gamePly; ++row) {
            keys.push_back(e.positionKey[row][1]);
            keys.push_back(e.positionKey[row][3]);
            for (int c : {1, 2, 3, 4, 8}) moves.push_back(e.gameMoves[row][c]);
        }
    }
    bool operator==(const GameView&) const = default;
};

TEST(TakeBack, UndoRestoresEveryPlyOfAForcedGame) {
    Harness h;
    h.handshake();
    h.send({"new", "force"});
    // Castling both sides, a double step met by en passant, a promotion with capture.
    const std::vector<std::string> moves = {"e2e4", "d7d5", "e4e5", "f7f5", "e5f6", "g8f6",
                                            "g1f3", "b8c6", "f1c4", "d8d6", "e1g1", "c8d7",
                                            "d2d4", "e8c8", "f6g7" /* illegal: no pawn */};
    std::vector<GameView> views{GameView(h.engine())};
    for (const std::string& move : moves) {
        auto out = h.send({"usermove " + move});
        if (!out.empty()) {
            ASSERT_EQ(out[0], "Illegal move: " + move);
            continue;
        }
        views.emplace_back(h.engine());
        ASSERT_EQ(invariantViolations(h.engine()), "");
    }
    ASSERT_EQ(views.size(), moves.size());  // every move but the last was legal
    while (views.size() > 1) {
        views.pop_back();
        h.send({"undo"});
        ASSERT_EQ(GameView(h.engine()), views.back())
            << "after taking back to ply " << views.back().gamePly;
        ASSERT_EQ(invariantViolations(h.engine()), "");
    }
    // Nothing left to take back: nothing happens.
    h.send({"undo", "remove"});
    EXPECT_EQ(GameView(h.engine()), views.front());
}

TEST(TakeBack, ASetUpWithoutSideToMoveIsReplayedWithTheSideItHad) {
    Harness h;
    h.handshake();
    // The placement-only set-up takes the side to move of the moment: Black, after e2e4.
    h.send({"new", "force", "usermove e2e4", "setboard 4k3/8/8/8/8/8/8/4K2R", "usermove e8d8"});
    ASSERT_EQ(h.engine().sideToMove, 1);
    h.send({"undo"});
    EXPECT_EQ(h.engine().sideToMove, -1);
    EXPECT_EQ(boardText(h.engine()), "4k3/8/8/8/8/8/8/4K2R");
    h.send({"usermove e8d8", "usermove h1h8", "remove"});
    EXPECT_EQ(h.engine().sideToMove, -1);
    EXPECT_EQ(boardText(h.engine()), "4k3/8/8/8/8/8/8/4K2R");
    EXPECT_EQ(invariantViolations(h.engine()), "");
}

TEST(TakeBack, RemoveAfterTheEngineMovedLetsThePersonRetry) {
    Harness h(5, 1e-4);
    h.handshake();
    h.send({"new", "level 0 1 0", "time 100"});
    auto first = h.send({"usermove e2e4"});
    ASSERT_FALSE(first.empty());
    const GameView afterEngine(h.engine());
    h.send({"time 100", "usermove d2d4"});
    // Take back the person's d2d4 and the engine's answer: the engine's first reply stands.
    auto out = h.send({"remove"});
    EXPECT_TRUE(out.empty()) << "the engine must not think after a take-back";
    const GameView afterRemove(h.engine());
    EXPECT_EQ(afterRemove.board, afterEngine.board);
    EXPECT_EQ(afterRemove.gamePly, afterEngine.gamePly);
    EXPECT_EQ(afterRemove.keys, afterEngine.keys);
    EXPECT_EQ(afterRemove.halfMoves, afterEngine.halfMoves);
    EXPECT_EQ(h.engine().sideToMove, 1);
    EXPECT_EQ(h.engine().engineSide, -1);
    // The game goes on from there.
    auto again = h.send({"time 100", "usermove g1f3"});
    bool moved = false;
    for (const auto& line : again) moved = moved || line.rfind("move ", 0) == 0;
    EXPECT_TRUE(moved);
}

TEST(LongGames, TablesNeverOverflowInAGameOfManyThousandPlies) {
    Harness h(3, 1e-4);
    h.handshake();
    h.send({"new", "force"});
    const char* cycle[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    std::vector<std::string> lines;
    for (int ply = 0; ply < 12400; ++ply)
        lines.push_back(std::string("usermove ") + cycle[ply % 4]);
    auto out = h.send(lines);
    EXPECT_TRUE(out.empty()) << out.front();
    EngineState& e = h.engine();
    EXPECT_EQ(gamePlyNumber(e), 12401);
    EXPECT_LE(e.gamePly, kPlyCapacity);
    EXPECT_EQ(invariantViolations(e), "");
    // The engine still plays.
    auto reply = h.send({"level 0 1 0", "time 100", "go"});
    bool moved = false;
    for (const auto& line : reply) moved = moved || line.rfind("move ", 0) == 0;
    EXPECT_TRUE(moved);
    EXPECT_EQ(invariantViolations(e), "");
    EXPECT_EQ(gamePlyNumber(e), 12402);
    // Past the length of the kept move list a take-back is no longer possible: nothing happens.
    const std::string before = boardText(e);
    h.send({"force", "undo"});
    EXPECT_EQ(gamePlyNumber(e), 12402);
    EXPECT_EQ(boardText(e), before);
}

TEST(LongGames, FullMoveNumbersBeyondTheTablesAreCounted) {
    Harness h(4, 1e-4);
    h.handshake();
    h.send({"setboard r3k2r/8/8/8/8/8/8/R3K2R b KQkq - 12 9999", "level 0 1 0"});
    EngineState& e = h.engine();
    EXPECT_TRUE(e.positionHeld);
    EXPECT_EQ(gamePlyNumber(e), 19998);
    EXPECT_EQ(e.gameMoves[e.gamePly - 1][8], 12);
    auto reply = h.send({"time 100", "go"});
    bool moved = false;
    for (const auto& line : reply) moved = moved || line.rfind("move ", 0) == 0;
    EXPECT_TRUE(moved);
    EXPECT_EQ(gamePlyNumber(e), 19999);
}

}  // namespace
}  // namespace qm::test

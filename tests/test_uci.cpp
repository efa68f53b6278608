// The UCI front end: conversations in-process (queued input, manual clock), the same move as
// the xboard front end, and a conversation with the real binary over pipes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "engine/time_budget.h"
#include "support/child_process.h"
#include "support/harness.h"

namespace qm::test {
namespace {

// The output without the info lines of completed depths, which are checked for their form.
std::vector<std::string> withoutInfo(const std::vector<std::string>& out) {
    std::vector<std::string> rest;
    char kind[8] = "";
    int depth = 0, score = 0;
    long nodes = 0, ms = 0;
    for (const auto& l : out)
        if (l.rfind("info depth", 0) != 0)
            rest.push_back(l);
        else
            EXPECT_EQ(
                std::sscanf(l.c_str(),
                            "info depth %d score %4s %d nodes %ld time %ld pv %*5[a-h1-8qrbn]",
                            &depth, kind, &score, &nodes, &ms),
                5)
                << l;
    return rest;
}

TEST(Uci, HandshakePositionsAndRefusals) {
    Harness h;  // the clock stands still: the depth ends every think
    auto out = h.converse({"uci",
                           "debug on",
                           "setoption name Hash value 1",
                           "setoption name Ponder value true",
                           "isready",
                           "ucinewgame",
                           "position startpos moves e2e4 e2e5\r\r",  // a CR is white space
                           "go depth 2",
                           "position fen garb\x01"
                           "age",
                           "go",
                           "position fen k7/8/1Q6/8/8/8/8/7K b - - 0 1",
                           "go depth 2",  // stalemate
                           "position fen 7k/P7/8/8/8/8/8/K7 w - - 0 1",
                           "go depth 2",
                           "position fen r5k1/5ppp/8/8/8/8/5PPP/6K1 b - - 0 1",
                           "go depth 5",  // Black mates
                           "position fen 7k/8/8/8/8/8/5q2/7K b - - 0 1 moves f2g2",
                           "go depth 3",
                           "stop",
                           "ponderhit",
                           "quit",
                           "isready"});
    EXPECT_EQ(withoutInfo(out),
              (std::vector<std::string>{"id name Quillomar", "id author the Quillomar team",
                                        "option name Ponder type check default false",
                                        "option name Hash type spin default 32 min 1 max 1024",
                                        "uciok",
                                        "readyok", "info string illegal move e2e5", "bestmove 0000",
                                        "info string illegal position garb?age", "bestmove 0000",
                                        "bestmove 0000",
                                        "bestmove a7a8q ponder h8g7",  // lines without a reply:
                                        "bestmove a8a1", "bestmove h1g2"}));  // mate, dead draw
    // Scores from the side to move's view: Black is a rook up, then mates in one.
    EXPECT_EQ(std::count_if(out.begin(), out.end(),
                            [](const std::string& l) {
                                return l.rfind("info depth 1 score cp 500 ", 0) == 0 ||
                                       l.rfind("info depth 2 score mate 1 ", 0) == 0;
                            }),
              2);
    // The position stays the one the GUI set up.
    EXPECT_EQ(boardText(h.engine()) + " " + std::to_string(h.engine().sideToMove),
              "7k/8/8/8/8/8/6q1/7K 1");
    EXPECT_EQ(h.engine().positionTable.megabytes(), 1u);
    Harness t;
    t.converse({"uci", "setoption name hash value 0"});  // below the least: the least
    EXPECT_EQ(t.engine().positionTable.megabytes(), 1u);
    t.converse({"uci", "setoption name Hash value 48"});
    EXPECT_EQ(t.engine().positionTable.megabytes(), 48u);
}

TEST(Uci, TheMoveIsTheOneTheXboardFrontEndChooses) {
    for (const std::string fen : {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
                                  "r3k2r/ppp2ppp/2n5/3qp3/3P4/2N5/PPP2PPP/R2QK2R b KQkq - 0 10"}) {
        // Seeds, and a depth on a still clock or a clock budget on a moving one.
        for (auto [seed, step] : {std::pair{3u, 0.0}, {4u, 0.0}, {3u, 0.0005}, {4u, 0.0005}}) {
            Harness x(seed, step), u(seed, step);
            x.handshake();
            auto xo = x.send({"setboard " + fen, "level 0 1 0", "sd 4", "time 3000", "go"});
            auto uo =
                u.converse({"uci", "position fen " + fen, "go wtime 30000 btime 30000 depth 4"});
            std::string move = "bestmove " + xo[xo.size() - 2].substr(5);
            for (char& c : move) c = static_cast<char>(std::tolower(c));
            EXPECT_EQ(uo.back().substr(0, uo.back().find(" ponder ")), move) << fen << step;
            EXPECT_DOUBLE_EQ(u.engine().moveBudgetCs, x.engine().moveBudgetCs);
        }
    }
}

TEST(Uci, ClockMoveTimeAndThinkingUntilStopped) {
    for (auto [go, budgetCs] : {std::pair{"go wtime 30000 btime 1000 movestogo 20", 145.0},
                                {"go btime 30000 wtime 9000 winc 2000 binc 5", 90.0},
                                {"go movetime 2000 wtime 5", fixedMoveBudget(200.0)}}) {
        Harness h(5, 0.01);
        EXPECT_EQ(h.converse({"uci", "position startpos", go}).back().rfind("bestmove ", 0), 0u);
        EXPECT_DOUBLE_EQ(h.engine().moveBudgetCs, budgetCs) << go;
    }
    // When the deepening ends first (a mate), the move still waits for "stop".
    auto out = Harness().converse({"uci", "position fen 6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1",
                                   "go infinite", "isready", "stop"});
    EXPECT_EQ(std::vector<std::string>(out.end() - 2, out.end()),
              (std::vector<std::string>{"readyok", "bestmove a1a8"}));
    // "quit" while thinking ends the run at once, without a move: a line held before it is
    // dropped.
    Harness q(7, 0.002);
    out = q.converse({"uci", "position startpos", "go infinite"},
                     {{"position startpos moves e2e5", 0.2}, {"quit", 0.3}, {"isready", 0.3}});
    EXPECT_EQ(withoutInfo(out).size(), 5u) << ::testing::PrintToString(out);
    EXPECT_LT(q.clock().now(), 0.4);
    // A flood of input while thinking is held only up to its room: a line that finds none, and
    // every later one, is refused with one message; "isready" and "stop" still work.
    Harness f(7, 0.002);
    Harness::Arrivals flood = {{"position startpos moves e2e4", 0.1}};
    const std::string big = "setoption name x value " + std::string(200000, 'y');
    for (int i = 0; i < 25; ++i) flood.emplace_back(big, 0.1);
    for (const char* line : {"position startpos moves d2d4", "isready", "stop"})
        flood.emplace_back(line, 0.2);
    out = withoutInfo(f.converse({"uci", "position startpos", "go infinite"}, flood));
    ASSERT_EQ(out.size(), 8u) << ::testing::PrintToString(out);
    EXPECT_EQ(out[5], "info string too much input while thinking, ignored until the move: " +
                          big.substr(0, 200) + "...");
    EXPECT_EQ(out[6], "readyok");
    EXPECT_EQ(boardText(f.engine()), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR");
    EXPECT_EQ(f.engine().heldBytes, 0u);
}

// The time (ms) of each info line, one a completed depth; `answer` becomes the bestmove that
// the last one's line gives.
std::vector<long> infoTimes(const std::vector<std::string>& out, std::string& answer) {
    std::vector<long> times;
    for (const auto& l : out) {
        long ms = 0;
        char move[6] = "", reply[6] = "";
        if (std::sscanf(l.c_str(), "info depth %*d score %*s %*d nodes %*d time %ld pv %5s %5s",
                        &ms, move, reply) < 2)
            continue;
        times.push_back(ms);
        answer = "bestmove " + std::string(move) + (*reply ? " ponder " + std::string(reply) : "");
    }
    return times;
}

TEST(Uci, PonderingUntilTheHitOrStop) {
    // "stop" while pondering: the move at once, with the reply the last completed depth expects.
    const std::vector<std::string> ponder = {"uci", "position startpos moves e2e4",
                                             "go wtime 60000 btime 60000 ponder"};
    Harness s(5, 0.001);
    auto out = s.converse(ponder, {{"stop", 30.0}});
    std::string answer;
    const auto stopped = infoTimes(out, answer);
    EXPECT_TRUE(s.clock().now() > 30.0 && s.clock().now() < 30.02) << s.clock().now();
    EXPECT_EQ(out.back(), answer);

    // The clock never ends a ponder search: the hit comes after the whole budget (2 s), shortly
    // before a depth completes (as the stopped search shows), and counts from it: that depth
    // completes, the next one starts (a third is not used) and is stopped when all of it is.
    const double budget = budgetForMovesToGo(6000.0, 0.0, 0.0) / 100.0;
    const auto next =
        std::find_if(stopped.begin(), stopped.end(), [&](long ms) { return ms > 1200.0 * budget; });
    ASSERT_NE(next, stopped.end());
    const double hit = *next / 1000.0 - budget / 6.0;
    Harness h(5, 0.001);
    out = h.converse(ponder, {{"ponderhit", hit}});
    EXPECT_TRUE(h.clock().now() > hit + budget && h.clock().now() < hit + budget + 0.05)
        << h.clock().now() << " hit " << hit;
    const auto d = infoTimes(out, answer);
    ASSERT_EQ(d.size(), static_cast<std::size_t>(next - stopped.begin()) + 1);
    EXPECT_GT(d.back(), hit * 1000.0);
    EXPECT_EQ(out.back(), answer);

    // When the deepening ends first (the depth asked for, a mate) the answer waits for the hit
    // or "stop", and is that of the plain "go"; so it does without a position.
    for (auto [position, go, depth] :
         {std::tuple{"position startpos moves d2d4", "go ponder depth 3", "depth 3"},
          {"position fen 6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1", "go wtime 900 ponder btime 9", ""},
          {"ucinewgame", "go ponder", ""}}) {
        for (const char* end : {"ponderhit", "stop"}) {
            auto plain =
                Harness(9).converse({"uci", position, std::string("go ") + depth, "isready"});
            std::swap(plain[plain.size() - 2], plain.back());
            EXPECT_EQ(Harness(9).converse({"uci", position, go, "isready", end}), plain) << go;
        }
    }
}

// A knight shuffle of 2,992 plies, then eight more to a mate in one for White: 3,000 plies,
// about 15,000 characters.
std::string longGame() {
    std::string moves = "position startpos moves";
    for (int i = 0; i < 748; ++i) moves += " g1f3 g8f6 f3g1 f6g8";
    return moves + " a2a3 a7a6 e2e4 e7e5 f1c4 b8c6 d1h5 g8f6";
}

TEST(Uci, LongLinesAreReadWholeOrRefusedWhole) {
    Harness h;
    auto out = h.converse({"uci", longGame(), "isready"});
    EXPECT_EQ(withoutInfo(out).back(), "readyok");
    EXPECT_EQ(boardText(h.engine()) + " " + std::to_string(h.engine().sideToMove),
              "r1bqkb1r/1ppp1ppp/p1n2n2/4p2Q/2B1P3/P7/1PPP1PPP/RNB1K1NR 1");
    // A line over the limit is not acted on at all; the position before it stays.
    const std::string tooLong = "position fen 7k/8/8/8/8/8/8/K6R w - - 0 1 moves " +
                                std::string(kLongestLine, 'x') + " h1h2";
    Harness t;
    out = t.converse({"uci", "position startpos moves e2e4", tooLong, "isready"});
    EXPECT_EQ(std::vector<std::string>(out.end() - 2, out.end()),
              (std::vector<std::string>{"info string line longer than 1048576 characters ignored",
                                        "readyok"}));
    EXPECT_EQ(boardText(t.engine()), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR");
}

TEST(Uci, ConversationWithTheRealBinary) {
    Child engine(engineCommand());
    bool found = false;
    // The last line up to one starting with `prefix`, which must come within `seconds`.
    auto expect = [&](const std::string& prefix, double seconds) {
        const auto start = std::chrono::steady_clock::now();
        auto lines = engine.readUntil(prefix, found);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(found && took.count() < seconds) << prefix << " after " << took.count();
        return found ? lines.back() : std::string();
    };
    engine.send("uci");
    expect("uciok", 5.0);
    engine.send("position startpos moves e2e4 e7e5 g1f3");
    engine.send("go wtime 2000 btime 2000");
    EXPECT_EQ(expect("bestmove ", 1.0).find(" ponder "), 13u);
    engine.send("go movetime 300");
    expect("bestmove ", 1.0);
    engine.send("go infinite");
    usleep(300000);
    engine.send("isready");
    expect("readyok", 0.2);
    engine.send("stop");
    expect("bestmove ", 0.2);
    // Pondering: no move before the hit (else none would come after it), one soon after it.
    engine.send("go ponder wtime 2000 btime 2000");
    usleep(300000);
    engine.send("isready");
    expect("readyok", 0.2);
    engine.send("ponderhit");
    expect("bestmove ", 0.2);
    engine.send("position fen 6k1/5ppp/8/8/8/8/5PPP/r5K1 w - - 0 1");  // White is mated
    engine.send("go depth 3");
    EXPECT_EQ(expect("bestmove ", 1.0), "bestmove 0000");
    // Whole lines through the pipe: 15 KB read whole, over 1 MiB refused, the next line read.
    engine.send(longGame());
    engine.send("position fen 7k/8/8/8/8/8/8/K6R w - - 0 1 " + std::string(kLongestLine, ' ') +
                "moves h1h2");
    engine.send("go depth 2");
    EXPECT_EQ(expect("info string", 5.0),
              "info string line longer than 1048576 characters ignored");
    EXPECT_EQ(expect("bestmove ", 5.0), "bestmove h5f7");
    EXPECT_EQ(engine.linesEndingInCr(), 0);  // UCI lines end in LF alone
    engine.send("quit");
    const int status = engine.waitExit();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace qm::test

// Protocol sessions through the front end: handshake bytes, the reading rule, the commands that
// change the session state, the move budget, quitting, end of input and a long run of random
// and malformed input.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "board/game_record.h"
#include "board/legal_moves.h"
#include "engine/main_loop.h"
#include "engine/time_budget.h"
#include "search/thinking_output.h"
#include "support/child_process.h"
#include "support/harness.h"

namespace qm::test {
namespace {

const char* const kFeatures =
    "feature ping=1 setboard=1 playother=1 san=0 usermove=1 colors=0 time=1 draw=1 sigint=0 "
    "sigterm=0 reuse=1 analyze=0 myname=Quillomar variants=normal ics=1 name=0 pause=0 nps=0 "
    "debug=1 memory=0 smp=0 ";

// An engine wired to a line queue and a string output, for looking at raw bytes and for
// running the handshake on input of our own choosing.
struct RawSession {
    QueueLineSource input;
    std::ostringstream output;
    ManualClock clock{0.001};
    SplitMixRandom random{99, false};
    Platform platform{input, output, clock, random};
    std::unique_ptr<EngineState> engine = std::make_unique<EngineState>(platform);

    void push(std::initializer_list<std::string> lines) {
        for (const auto& l : lines) input.push(l);
    }
};

// Splits raw output at CR LF; fails the test on a bare LF or CR or on an unterminated tail.
std::vector<std::string> splitCrLf(const std::string& raw) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < raw.size()) {
        std::size_t end = raw.find("\r\n", pos);
        if (end == std::string::npos) {
            ADD_FAILURE() << "output does not end in CR LF: " << raw.substr(pos);
            break;
        }
        std::string line = raw.substr(pos, end - pos);
        EXPECT_EQ(line.find('\n'), std::string::npos) << "bare line feed in " << line;
        EXPECT_EQ(line.find('\r'), std::string::npos) << "stray carriage return in " << line;
        lines.push_back(line);
        pos = end + 2;
    }
    return lines;
}

std::vector<std::string> legalMoveTexts(EngineState& e) {
    LegalMoveList list;
    listLegalMoves(e, list);
    std::vector<std::string> texts;
    for (int n = 1; n <= list.count; ++n) {
        const auto& m = list.entry[n];
        texts.push_back(moveText(m[1], m[2], m[3], m[4], m[5]));
    }
    return texts;
}

bool contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

int indexOf(const std::vector<std::string>& v, const std::string& s) {
    auto it = std::find(v.begin(), v.end(), s);
    return it == v.end() ? -1 : static_cast<int>(it - v.begin());
}

// The "move ..." line of an output, or "".
std::string moveLine(const std::vector<std::string>& out) {
    for (const auto& l : out)
        if (l.rfind("move ", 0) == 0) return l;
    return "";
}

bool boardEmpty(const EngineState& e) {
    for (int f = 1; f <= 8; ++f)
        for (int r = 1; r <= 8; ++r)
            if (e.board[f][r] != 0) return false;
    return true;
}

// A session after the handshake, with a clock that moves on every reading so that any
// thinking ends after a handful of nodes.
struct Session {
    Harness h{4242, 0.002};
    Session() { h.handshake(); }
    EngineState& e() { return h.engine(); }
    std::vector<std::string> send(std::initializer_list<std::string> lines) {
        return h.send(lines);
    }
    std::vector<std::string> send(const std::vector<std::string>& lines) { return h.send(lines); }
};

// ---------------------------------------------------------------------------------------------
// Handshake

TEST(Handshake, BannerFeaturesAndLineEndsAreExact) {
    RawSession s;
    s.push({"xboard", "protover 2"});
    ASSERT_TRUE(handshake(*s.engine));
    const std::string raw = s.output.str();
    // Every line ends in CR LF and there is no other line feed.
    EXPECT_EQ(std::count(raw.begin(), raw.end(), '\n'), std::count(raw.begin(), raw.end(), '\r'));
    auto lines = splitCrLf(raw);
    ASSERT_EQ(lines.size(), 8u) << raw;
    EXPECT_EQ(lines[0], "#Quillomar 0.09.5");
    for (int i = 1; i <= 3; ++i) {
        ASSERT_FALSE(lines[i].empty());
        EXPECT_EQ(lines[i][0], '#') << lines[i];
        EXPECT_GT(lines[i].size(), 1u) << "comment line " << i << " says nothing";
    }
    EXPECT_EQ(lines[4], "feature done=0");
    EXPECT_EQ(lines[5], kFeatures);
    EXPECT_EQ(lines[5].back(), ' ');
    EXPECT_EQ(lines[6], "# booteo Quillomar finalizado");
    EXPECT_EQ(lines[7], "feature done=1");
    // The banner comes before the tables are set up; afterwards the engine holds no position.
    EXPECT_EQ(s.engine->sideToMove, 0);
    EXPECT_EQ(s.engine->engineSide, 0);
    EXPECT_TRUE(boardEmpty(*s.engine));

    // The harness's handshake gives the same lines.
    Harness h;
    EXPECT_EQ(h.handshake(), lines);
}

TEST(Handshake, ProtoverBeforeXboardIsIgnored) {
    {
        RawSession s;
        s.push({"protover 2", "xboard"});
        EXPECT_FALSE(handshake(*s.engine)) << "the handshake ended without a protover after xboard";
        EXPECT_EQ(s.output.str(), "");
    }
    {
        RawSession s;
        s.push({"protover 2", "new", "ping 4", "xboard", "protover 2"});
        ASSERT_TRUE(handshake(*s.engine));
        auto lines = splitCrLf(s.output.str());
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(lines[0], "#Quillomar 0.09.5");
        EXPECT_EQ(std::count(lines.begin(), lines.end(), "#Quillomar 0.09.5"), 1);
        EXPECT_FALSE(contains(lines, "pong 4")) << "no command is acted on before the handshake";
    }
    {
        // Lines between xboard and protover are ignored too; any version number is accepted.
        RawSession s;
        s.push({"xboard", "ping 3", "new", "protover 17"});
        ASSERT_TRUE(handshake(*s.engine));
        auto lines = splitCrLf(s.output.str());
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_FALSE(contains(lines, "pong 3"));
        EXPECT_EQ(s.engine->sideToMove, 0) << "\"new\" during the handshake was acted on";
    }
}

TEST(Handshake, XboardMustBeTheWholeItem) {
    RawSession s;
    s.push({"xboard ", "xboard 2", "xboardx", "XBOARD", "x board", "protover 2"});
    EXPECT_FALSE(handshake(*s.engine));
    EXPECT_EQ(s.output.str(), "");

    // Leading blanks and tabs are not part of the item.
    RawSession t;
    t.push({" \t xboard", "protover 2"});
    ASSERT_TRUE(handshake(*t.engine));
    EXPECT_EQ(splitCrLf(t.output.str()).size(), 8u);
}

// ---------------------------------------------------------------------------------------------
// Commands

TEST(Commands, PingIsAnsweredWithItsText) {
    Session s;
    auto out = s.send({"ping 12", "ping", "ping abc def", "pingping 3"});
    EXPECT_EQ(out, (std::vector<std::string>{"pong 12", "pong", "pong abc def", "pong 3"}));
    // No position is needed for ping.
    EXPECT_FALSE(s.e().positionHeld);
}

TEST(Commands, UnknownAndIgnoredCommandsChangeNothing) {
    Session s;
    s.send({"new", "force", "usermove e2e4"});
    PositionSnapshot before(s.e());
    const int ply = s.e().gamePly, side = s.e().sideToMove, force = s.e().forceMode;
    auto out = s.send({"accepted ping",
                       "post",
                       "hard",
                       "easy",
                       "random",
                       "computer",
                       "name Somebody",
                       "white",
                       "black",
                       "draw",
                       "?",
                       "otim 4500",
                       "",
                       "  ",
                       "xyzzy",
                       "rating 2000 1800",
                       "newgame",
                       "forcefully",
                       "gone",
                       "ics -",
                       "quitting"});
    EXPECT_TRUE(out.empty()) << out.front();
    EXPECT_FALSE(s.h.finished()) << "\"quitting\" is not \"quit\"";
    EXPECT_TRUE(PositionSnapshot(s.e()) == before);
    EXPECT_EQ(s.e().gamePly, ply);
    EXPECT_EQ(s.e().sideToMove, side);
    EXPECT_EQ(s.e().forceMode, force);
    EXPECT_EQ(s.e().engineState, 0);
}

TEST(Commands, NewForcePlayotherAndGoSetTheSessionState) {
    Session s;
    EngineState& e = s.e();
    EXPECT_EQ(e.sideToMove, 0);
    EXPECT_EQ(e.engineSide, 0);

    EXPECT_TRUE(s.send({"new"}).empty());
    EXPECT_TRUE(e.positionHeld);
    EXPECT_EQ(e.forceMode, 0);
    EXPECT_EQ(e.engineSide, -1);
    EXPECT_EQ(e.sideToMove, 1);
    EXPECT_EQ(e.gamePly, 1);
    EXPECT_EQ(e.engineState, 0);

    EXPECT_TRUE(s.send({"force"}).empty());
    EXPECT_EQ(e.forceMode, 1);
    EXPECT_EQ(e.engineState, 0);

    // "new" leaves force mode and gives the engine Black.
    s.send({"force", "new"});
    EXPECT_EQ(e.forceMode, 0);
    EXPECT_EQ(e.engineSide, -1);

    // In force mode moves of both sides are applied at once and the engine does not think.
    auto out = s.send({"force", "usermove e2e4", "usermove e7e5"});
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(e.gamePly, 3);
    EXPECT_EQ(e.sideToMove, 1);
    EXPECT_EQ(e.forceMode, 1);

    // playother: out of force mode, the engine takes the side not to move, nothing starts.
    out = s.send({"playother"});
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(e.forceMode, 0);
    EXPECT_EQ(e.engineSide, -1);
    EXPECT_EQ(e.engineState, 0);
    EXPECT_EQ(e.gamePly, 3);

    // The opponent (White) moves; the engine answers as Black.
    auto legalForWhite = legalMoveTexts(e);
    ASSERT_TRUE(contains(legalForWhite, "g1f3"));
    out = s.send({"usermove g1f3"});
    std::string reply = moveLine(out);
    ASSERT_FALSE(reply.empty()) << "the engine did not answer";
    EXPECT_EQ(e.gamePly, 5);
    EXPECT_EQ(e.sideToMove, 1);
    EXPECT_EQ(e.engineState, 0);
    EXPECT_EQ(invariantViolations(e), "");

    // go: the engine takes the side to move and plays at once.
    auto legal = legalMoveTexts(e);
    out = s.send({"force", "go"});
    reply = moveLine(out);
    ASSERT_FALSE(reply.empty());
    EXPECT_TRUE(contains(legal, reply.substr(5))) << reply;
    EXPECT_EQ(e.forceMode, 0);
    EXPECT_EQ(e.engineSide, 1);
    EXPECT_EQ(e.sideToMove, -1);
    EXPECT_EQ(e.gamePly, 6);
    EXPECT_EQ(e.engineState, 0);
    EXPECT_EQ(invariantViolations(e), "");

    // playother with Black to move hands White to the engine, and Black's move gets a reply.
    out = s.send({"force", "playother"});
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(e.engineSide, 1);
    auto black = legalMoveTexts(e);
    ASSERT_FALSE(black.empty());
    out = s.send({"usermove " + black.front()});
    EXPECT_FALSE(moveLine(out).empty());
    EXPECT_EQ(e.sideToMove, -1);
    EXPECT_EQ(e.gamePly, 8);
}

TEST(Commands, EngineMoveIsAnnouncedBeforeTheNextLineIsRead) {
    Session s;
    EngineState& e = s.e();
    s.send({"new", "level 0 0:01 0", "time 5"});
    auto legal = legalMoveTexts(e);
    auto out = s.send({"go", "ping 4", "force", "ping 5"});
    const int move = [&] {
        for (std::size_t i = 0; i < out.size(); ++i)
            if (out[i].rfind("move ", 0) == 0) return static_cast<int>(i);
        return -1;
    }();
    ASSERT_GE(move, 0);
    EXPECT_TRUE(contains(legal, out[move].substr(5))) << out[move];
    ASSERT_LT(move + 1, static_cast<int>(out.size()));
    // The result line follows the move line directly (empty: the game goes on).
    EXPECT_EQ(out[move + 1], "");
    EXPECT_EQ(indexOf(out, "pong 4"), move + 2);
    EXPECT_EQ(indexOf(out, "pong 5"), move + 3);
    EXPECT_EQ(static_cast<int>(out.size()), move + 4);
    // Only thinking lines come before the move.
    for (int i = 0; i < move; ++i)
        EXPECT_TRUE(out[i].find_first_not_of(' ') != std::string::npos &&
                    std::isdigit(static_cast<unsigned char>(out[i][out[i].find_first_not_of(' ')])))
            << "unexpected line before the move: " << out[i];
    EXPECT_EQ(e.gamePly, 2);
    EXPECT_EQ(e.sideToMove, -1);
}

TEST(Commands, ReadingRuleCommasQuotesAndBlanks) {
    Session s;
    EngineState& e = s.e();
    s.send({"force"});
    // Text after a comma is discarded: this is "new".
    EXPECT_TRUE(s.send({"new,foo"}).empty());
    EXPECT_TRUE(e.positionHeld);
    EXPECT_EQ(e.forceMode, 0);
    EXPECT_EQ(e.engineSide, -1);

    // "force" then whatever follows the comma is not a second command.
    s.send({"force,new"});
    EXPECT_EQ(e.forceMode, 1);

    auto out = s.send({"\"ping 5\"", "\"ping 5,6\",7", "ping 7,8", " \t ping 9", "ping 1, ping 2",
                       ",ping 3", "\"ping\""});
    EXPECT_EQ(out, (std::vector<std::string>{"pong 5", "pong 5,6", "pong 7", "pong 9", "pong 1",
                                             "pong"}));

    // A quoted usermove, and a move text cut at a comma.
    out = s.send({"\"usermove e2e4\"", "usermove e7e5,e7e6"});
    EXPECT_TRUE(out.empty()) << out.front();
    EXPECT_EQ(e.gamePly, 3);
    EXPECT_NE(e.board[5][4], 0);
    EXPECT_NE(e.board[5][5], 0);
    EXPECT_EQ(e.board[5][6], 0);
}

TEST(Commands, ItemsAreCutAt4096Characters) {
    Session s;
    const std::string x5000(5000, 'x');
    auto out = s.send({"ping " + x5000});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], "pong " + std::string(4091, 'x'));

    // Exactly 4096 characters pass whole; the comma rule still applies after the cut.
    out = s.send({"ping " + std::string(4091, 'y'), "ping " + x5000 + ",z",
                  "ping " + std::string(100, 'w') + "," + x5000});
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0], "pong " + std::string(4091, 'y'));
    EXPECT_EQ(out[1], "pong " + std::string(4091, 'x'));
    EXPECT_EQ(out[2], "pong " + std::string(100, 'w'));

    // A long setboard is cut too and does not hurt the engine.
    out = s.send({"setboard " + std::string(6000, '8'), "ping 1"});
    EXPECT_EQ(out.back(), "pong 1");
    EXPECT_FALSE(s.e().positionHeld);
}

// ---------------------------------------------------------------------------------------------
// Move budget

double budgetAfter(Session& s, std::initializer_list<std::string> lines) {
    s.send(lines);
    return s.e().moveBudgetCs;
}

// "new", then `plies` knight moves in force mode (game ply plies + 1), then the given lines.
std::vector<std::string> knightShuffle(int plies, std::initializer_list<std::string> then) {
    static const char* cycle[4] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    std::vector<std::string> lines = {"new", "force"};
    for (int i = 0; i < plies; ++i) lines.push_back(std::string("usermove ") + cycle[i % 4]);
    lines.insert(lines.end(), then);
    return lines;
}

double budgetAfter(Session& s, const std::vector<std::string>& lines) {
    s.send(lines);
    return s.e().moveBudgetCs;
}

TEST(MoveBudget, MovesPerPeriodShareTheClock) {
    Session s;
    EXPECT_DOUBLE_EQ(budgetAfter(s, {"new", "level 40 5 0", "time 30000"}), 747.5);
    EXPECT_DOUBLE_EQ(s.e().levelMoves, 40.0);
    EXPECT_DOUBLE_EQ(s.e().engineClockCs, 30000.0);

    // Game ply 79 is the last move of the first period; 80 starts the second.
    EXPECT_DOUBLE_EQ(budgetAfter(s, knightShuffle(78, {"time 30000"})), 29900.0);
    EXPECT_EQ(s.e().gamePly, 79);
    EXPECT_DOUBLE_EQ(budgetAfter(s, knightShuffle(79, {"time 30000"})), 747.5);
    EXPECT_EQ(s.e().gamePly, 80);
    EXPECT_DOUBLE_EQ(budgetAfter(s, {"time 20100"}), 500.0);

    // The GUI counts the periods from the set-up position, whatever its move number: a
    // position set up at move 40 starts a period (White to move: 40 moves left; Black: 39
    // after the ply counted for White).
    EXPECT_DOUBLE_EQ(
        budgetAfter(s, {"setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 40",
                        "time 30000"}),
        747.5);
    EXPECT_EQ(s.e().gamePly, 79);
    EXPECT_DOUBLE_EQ(
        budgetAfter(s, {"setboard rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR b KQkq - 0 40",
                        "time 30000"}),
        29900.0 / 39.0);

    // The ply counts opponent moves: after e2e4 it is ply 2, with 39 moves left in the period.
    EXPECT_DOUBLE_EQ(budgetAfter(s, {"new", "force", "usermove e2e4", "time 4000"}), 100.0);

    // Other period lengths: 20 moves at ply 1, at ply 39 and at ply 41.
    EXPECT_DOUBLE_EQ(budgetAfter(s, {"new", "level 20 2 0", "time 2100"}), 100.0);
    s.send({"level 20 2 0"});
    EXPECT_DOUBLE_EQ(budgetAfter(s, knightShuffle(38, {"time 2100"})), 2000.0);
    EXPECT_DOUBLE_EQ(budgetAfter(s, knightShuffle(40, {"time 2100"})), 100.0);
}

TEST(MoveBudget, TimeStampAndLevelFields) {
    Session s;
    s.send({"new"});
    s.h.clock().setStep(0.0);
    s.h.clock().set(12.5);
    s.send({"level 40 0:30 0", "time 1000"});
    EXPECT_DOUBLE_EQ(s.e().clockStampTime, 12.5);
    EXPECT_DOUBLE_EQ(s.e().levelMoves, 40.0);
    EXPECT_DOUBLE_EQ(s.e().levelBaseCs, 3000.0);
    EXPECT_DOUBLE_EQ(s.e().levelIncrementCs, 0.0);
    s.send({"level 0 2 12"});
    EXPECT_DOUBLE_EQ(s.e().levelMoves, 0.0);
    EXPECT_DOUBLE_EQ(s.e().levelBaseCs, 12000.0);
    EXPECT_DOUBLE_EQ(s.e().levelIncrementCs, 1200.0);
    s.send({"level 60 1:05 0.5"});
    EXPECT_DOUBLE_EQ(s.e().levelMoves, 60.0);
    EXPECT_DOUBLE_EQ(s.e().levelBaseCs, 6500.0);
    EXPECT_DOUBLE_EQ(s.e().levelIncrementCs, 50.0);
}

TEST(MoveBudget, SuddenDeathIncrementAndLowClockStaySound) {
    struct Case {
        std::vector<std::string> lines;
        double clock;
    };
    const std::vector<Case> cases = {
        {{"level 0 5 0", "time 30000"}, 30000},
        {{"level 0 2 12", "time 12000"}, 12000},
        {{"level 0 0:10 5", "time 300"}, 300},
        {{"level 0 1 30", "time 150"}, 150},
        {{"time 30000"}, 30000},
        {{"level 40 5 0", "time 100"}, 100},
        {{"level 40 5 0", "time 80"}, 80},
        {{"level 40 5 0", "time 1"}, 1},
        {{"level 1 1 0", "time 99.5"}, 99.5},
        {{"level 0.5 1 0", "time 5000"}, 5000},
        {{"level 0 0:01 0", "time 5"}, 5},
        {{"level 0 5 2", "time 101"}, 101},
    };
    for (const auto& c : cases) {
        Session s;
        s.send({"new"});
        s.h.send(c.lines);
        const double b = s.e().moveBudgetCs;
        SCOPED_TRACE(c.lines.back());
        EXPECT_TRUE(std::isfinite(b));
        EXPECT_GT(b, 0.0);
        EXPECT_LE(b, c.clock / 10.0 + 1e-9);
    }
    // Nothing left, or a nonsense clock: no time at all, never a negative budget.
    for (const char* t : {"time 0", "time -500", "time abc", "time 1e400"}) {
        Session s;
        s.send({"new", "level 0 5 0", t});
        EXPECT_EQ(s.e().moveBudgetCs, 0.0) << t;
    }
}

TEST(MoveBudget, BudgetIsFiniteAndWithinTheClockForAnyControl) {
    const double levels[] = {0,
                             0.25,
                             1,
                             2,
                             3,
                             7,
                             40,
                             120,
                             1e9,
                             -3,
                             std::numeric_limits<double>::quiet_NaN(),
                             std::numeric_limits<double>::infinity()};
    const double clocks[] = {0, 1, 50, 99, 100, 100.5, 101, 150, 1000, 30000, 1e7};
    const double increments[] = {0, 1, 500, 1e6, -20};
    for (double L : levels)
        for (double t : clocks)
            for (double inc : increments)
                for (int ply = 1; ply <= 301; ply += 5) {
                    const double b = moveBudget(t, L, ply, inc);
                    SCOPED_TRACE(::testing::Message() << "level " << L << " clock " << t << " inc "
                                                      << inc << " ply " << ply);
                    ASSERT_TRUE(std::isfinite(b));
                    ASSERT_GE(b, 0.0);
                    if (L >= 1 && std::isfinite(L) && t > 100) {
                        ASSERT_LE(b, t - 100 + 1e-9);
                        if (L == std::floor(L) && L < 1e6) {
                            const double left =
                                L * (std::floor(ply / (2 * L)) + 1) - std::floor(ply / 2.0);
                            ASSERT_DOUBLE_EQ(b, (t - 100) / left);
                        }
                    } else {
                        ASSERT_LE(b, t / 10 + 1e-9);
                        if (t > 0) {
                            ASSERT_GT(b, 0.0);
                        }
                    }
                }
}

// ---------------------------------------------------------------------------------------------
// Quitting and the end of input

TEST(Quit, EndsTheLoopInForceModeAndMidGame) {
    {
        Session s;
        auto out = s.send({"new", "force", "usermove e2e4", "quit", "ping 1"});
        EXPECT_TRUE(s.h.finished());
        EXPECT_FALSE(contains(out, "pong 1")) << "a line after quit was read";
        EXPECT_EQ(s.e().engineState, 0);
        EXPECT_EQ(s.e().gamePly, 1);
    }
    {
        Session s;
        auto out = s.send({"new", "usermove e2e4"});
        ASSERT_FALSE(moveLine(out).empty());
        EXPECT_FALSE(s.h.finished());
        out = s.send({"quit", "ping 2"});
        EXPECT_TRUE(s.h.finished());
        EXPECT_TRUE(out.empty());
    }
    {
        // Before any game, and as a quoted item.
        Session s;
        s.send({"\"quit\""});
        EXPECT_TRUE(s.h.finished());
    }
}

TEST(Quit, EndOfInputEndsTheLoop) {
    Session s;
    auto out = s.send({"new", "force", "usermove d2d4"});
    EXPECT_FALSE(s.h.finished());
    // The queue is empty now: the next pass finds the end of input and ends the loop.
    EXPECT_FALSE(mainLoopPass(s.e()));

    // A whole run without "quit" ends with status 0.
    RawSession r;
    r.push({"xboard", "protover 2", "new", "ping 3"});
    EXPECT_EQ(runEngine(*r.engine), 0);
    auto lines = splitCrLf(r.output.str());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "pong 3");

    // Input that ends during the handshake ends the run too.
    RawSession early;
    early.push({"xboard"});
    EXPECT_EQ(runEngine(*early.engine), 0);
    EXPECT_EQ(early.output.str(), "");
}

// Runs the engine program on the given input; returns its exit status, fills its output.
int runProgram(const std::string& input, std::string& output, const std::string& tag) {
    const std::string dir = ::testing::TempDir();
    const std::string in =
        dir + "quillomar_frontend_" + std::to_string(getpid()) + "_" + tag + ".in";
    const std::string out =
        dir + "quillomar_frontend_" + std::to_string(getpid()) + "_" + tag + ".out";
    {
        std::ofstream f(in, std::ios::binary);
        f << input;
    }
    const std::string cmd =
        "timeout 60 " + engineCommandLine() + " < '" + in + "' > '" + out + "' 2>/dev/null";
    int status = std::system(cmd.c_str());
    std::ifstream f(out, std::ios::binary);
    output.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    std::remove(in.c_str());
    std::remove(out.c_str());
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST(Program, ExitsWithStatusZeroOnQuitAndOnEndOfInput) {
    std::string output;
    EXPECT_EQ(runProgram("xboard\nprotover 2\nnew\nforce\nusermove e2e4\nping 7\nquit\nping 8\n",
                         output, "quit"),
              0);
    auto lines = splitCrLf(output);
    ASSERT_EQ(lines.size(), 9u) << output;
    EXPECT_EQ(lines[0], "#Quillomar 0.09.5");
    EXPECT_EQ(lines[5], kFeatures);
    EXPECT_EQ(lines[8], "pong 7");

    // CR LF line ends on input are accepted, and the end of input ends the program.
    EXPECT_EQ(runProgram("xboard\r\nprotover 2\r\nping 9\r\n", output, "eof"), 0);
    lines = splitCrLf(output);
    ASSERT_EQ(lines.size(), 9u) << output;
    EXPECT_EQ(lines[8], "pong 9");

    // A last line without a line end is still read.
    EXPECT_EQ(runProgram("xboard\nprotover 2\nping 10", output, "tail"), 0);
    lines = splitCrLf(output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "pong 10");

    // No input at all.
    EXPECT_EQ(runProgram("", output, "empty"), 0);
    EXPECT_EQ(output, "");
}

// ---------------------------------------------------------------------------------------------
// Input while the engine thinks

// The game, whatever piece numbers the engine drew before its turn.
std::string gameView(EngineState& e) {
    std::string v = boardText(e) + " " + std::to_string(e.sideToMove * e.gamePly);
    if (!e.positionHeld) return v;
    v += " " + std::to_string(exactSignature(e, e.sideToMove));
    for (int r = 0; r < e.gamePly; ++r) v += " " + std::to_string(e.positionKey[r][2]);
    for (int i = 1; i <= e.historyCount; ++i) v += std::string(" ") + e.moveHistory[i].data();
    return v;
}

// A session whose next turn has two minutes: whatever ends it early is the input.
struct LongThink : Session {
    LongThink() { send({"new", "level 0 60 0", "force", "usermove e2e4", "time 360000"}); }
};

TEST(InputWhileThinking, MoveNowPlaysTheLastCompletedDepthAndOtherLinesWait) {
    LongThink s;
    const double t = s.h.clock().now();
    auto out = s.h.send({"go"}, {{"ping 3", t + 0.2}, {"?", t + 0.5}, {"ping 4", t + 0.6}});
    const int move = indexOf(out, moveLine(out));
    ASSERT_GT(move, 0) << ::testing::PrintToString(out);
    EXPECT_LT(s.h.clock().now(), t + 0.6);  // a reading costs 2 ms; input is read every 5 ms
    // As at a time-out: the move of the deepest completed iteration, then its result line.
    EXPECT_NE(out[move - 1].find(" " + out[move].substr(5) + " "), std::string::npos);
    EXPECT_EQ(std::vector<std::string>(out.begin() + move + 1, out.end()),
              (std::vector<std::string>{"", "pong 3", "pong 4"}));

    // Lines that arrive while the engine thinks give the output of lines sent after its move.
    const std::vector<std::string> lines = {"ping 5", "otim 9",        "time 900",
                                            "post",   "usermove e7e5", "ping 6"};
    Session a, b;
    for (Session* x : {&a, &b}) x->send({"new", "level 0 0:02 0", "force", "usermove e2e4"});
    Harness::Arrivals arrivals;
    for (std::size_t i = 0; i < lines.size(); ++i)
        arrivals.emplace_back(lines[i], a.h.clock().now() + 0.01 * (i + 1));
    auto together = a.h.send({"go"}, arrivals);
    auto first = b.send({"go"}), after = b.send(lines);
    first.insert(first.end(), after.begin(), after.end());
    EXPECT_EQ(together, first);
    EXPECT_EQ(gameView(a.e()), gameView(b.e()));
}

TEST(InputWhileThinking, GameChangingCommandsGiveUpTheTurnAndAreCarriedOut) {
    for (const std::string cmd : {"force", "new", "setboard 4k3/8/8/8/8/8/4P3/4K3 w - - 0 1",
                                  "result 1-0 {White resigns}", "undo", "remove", "quit"}) {
        SCOPED_TRACE(cmd);
        LongThink s, twin;
        const std::string before = gameView(s.e());
        const double t = s.h.clock().now();
        auto out = s.h.send({"go"}, {{"ping 7", t + 0.1}, {cmd, t + 0.3}, {"ping 8", t + 0.4}});
        EXPECT_LT(s.h.clock().now(), t + 0.4);
        std::erase_if(out, [](const std::string& l) { return l.rfind(" ", 0) == 0; });
        EXPECT_EQ(out, (cmd == "quit" ? std::vector<std::string>{"pong 7"}
                                      : std::vector<std::string>{"pong 7", "pong 8"}));
        EXPECT_EQ(s.h.finished(), cmd == "quit");
        // The command acts on the game as before the turn, as on a twin that never thought.
        twin.send({cmd});
        EXPECT_EQ(gameView(s.e()), gameView(twin.e()));
        if (cmd == "force") {
            EXPECT_EQ(gameView(s.e()), before);
        }
    }
}

TEST(InputWhileThinking, FixedTimeAndDepthAndThinkingLinesSwitch) {
    Session s;
    s.send({"new", "st 2"});
    s.h.clock().set(50.0);
    s.send({"time 90000"});
    EXPECT_DOUBLE_EQ(s.e().moveBudgetCs, fixedMoveBudget(200.0));
    EXPECT_DOUBLE_EQ(s.e().clockStampTime, 50.0);
    EXPECT_TRUE(fixedMoveBudget(200.0) < 200.0 && fixedMoveBudget(200.0) >= 100.0);
    EXPECT_DOUBLE_EQ(budgetAfter(s, {"level 40 5 0", "time 30000"}), 747.5);  // ends "st"
    EXPECT_DOUBLE_EQ(budgetAfter(s, {"st 0.5", "st 0", "st x", "time 30000"}), 42.5);
    // Without a "time" the move is timed from the command that starts the turn.
    Session t;
    t.send({"new", "st 1", "force", "usermove e2e4"});
    t.h.clock().set(80.0);
    ASSERT_NE(moveLine(t.send({"go"})), "");
    EXPECT_DOUBLE_EQ(t.e().clockStampTime, 80.0);
    EXPECT_LT(t.h.clock().now(), 81.0);

    Harness h(21);  // the clock stands still: only the depth ends the deepening
    h.handshake();
    auto out = h.send({"new", "sd 3", "go"});
    ASSERT_EQ(out.size(), 5u) << ::testing::PrintToString(out);
    EXPECT_EQ(out[2].rfind(" 3 ", 0), 0u);
    h.send({"sd 99", "sd 0", "sd x"});
    EXPECT_EQ(h.engine().playerDepthLimit, 40);
    h.send({"sd 2", "new"});
    EXPECT_EQ(h.engine().playerDepthLimit, 40) << "\"new\" removes the depth limit";
    // Without thinking lines the move and the result claim are the same.
    const std::string mate = "setboard 6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1";
    EXPECT_EQ(h.send({"nopost", mate, "go"}), (std::vector<std::string>{"move a1a8", "1-0"}));
    EXPECT_EQ(h.send({"post", mate, "go"}).size(), 4u);
}

// ---------------------------------------------------------------------------------------------
// No position held

TEST(NoPosition, ResultEmptiesTheBoardAndMovesAreRefused) {
    Session s;
    EngineState& e = s.e();
    // Before the first "new".
    auto out = s.send({"usermove e2e4"});
    EXPECT_EQ(out, (std::vector<std::string>{"Illegal move: e2e4"}));
    EXPECT_EQ(e.sideToMove, 0);

    s.send({"new", "force", "usermove e2e4", "usermove c7c5"});
    ASSERT_EQ(e.gamePly, 3);
    out = s.send({"result 1-0 {White resigns}"});
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(boardEmpty(e));
    EXPECT_FALSE(e.positionHeld);
    EXPECT_EQ(e.gamePly, 1);
    for (int k = 1; k <= 5; ++k)
        for (int c = 1; c <= 2; ++c) {
            EXPECT_EQ(e.materialCount[k][c], 0);
            EXPECT_EQ(e.materialCount[-k][c], 0);
        }
    const int side = e.sideToMove;
    PositionSnapshot empty(e);

    // In force mode and out of it: refused, nothing changes, nobody thinks.
    for (const char* mode : {"force", "playother"}) {
        out = s.send({mode, "usermove e2e4", "usermove g1f3", "usermove e7e5"});
        EXPECT_EQ(out, (std::vector<std::string>{"Illegal move: e2e4", "Illegal move: g1f3",
                                                 "Illegal move: e7e5"}))
            << mode;
        EXPECT_TRUE(PositionSnapshot(e) == empty);
        EXPECT_EQ(e.gamePly, 1);
        EXPECT_EQ(e.sideToMove, side);
        EXPECT_EQ(e.engineState, 0);
    }
    // "go" without a position does not think either.
    out = s.send({"go"});
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(e.engineState, 0);
    EXPECT_TRUE(PositionSnapshot(e) == empty);

    // A rejected setboard leaves no position either; "new" brings one back.
    out = s.send({"setboard 8/8/8/8/8/8/8/8 w - - 0 1", "force", "usermove e2e4"});
    EXPECT_EQ(out,
              (std::vector<std::string>{"tellusererror Illegal position", "Illegal move: e2e4"}));
    out = s.send({"new", "force", "usermove e2e4"});
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(e.gamePly, 2);
}

// ---------------------------------------------------------------------------------------------
// Random and malformed input

class Fuzzer {
  public:
    explicit Fuzzer(std::uint32_t seed) : rng_(seed) {}

    int pick(int n) { return static_cast<int>(rng_() % static_cast<std::uint32_t>(n)); }
    bool chance(int percent) { return pick(100) < percent; }

    std::string randomBytes(int maxLength) {
        std::string s;
        int n = pick(maxLength + 1);
        for (int i = 0; i < n; ++i) {
            char c;
            do c = static_cast<char>(pick(256));
            while (c == '\n');
            s += c;
        }
        return s;
    }

    std::string fromAlphabet(const std::string& alphabet, int maxLength) {
        std::string s;
        int n = pick(maxLength + 1);
        for (int i = 0; i < n; ++i) s += alphabet[pick(static_cast<int>(alphabet.size()))];
        return s;
    }

    std::string fenFragment() {
        static const std::vector<std::string> fens = {
            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
            "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
            "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
            "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1",
            "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8",
            "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
            "4k3/8/8/8/8/8/8/4K3 w - - 99 200",
            "7k/P7/8/8/8/8/7p/K7 w - - 0 1",
        };
        std::string f = fens[pick(static_cast<int>(fens.size()))];
        switch (pick(5)) {
            case 0:
                return f.substr(0, pick(static_cast<int>(f.size()) + 1));
            case 1: {
                static const std::string alphabet = "pnbrqkPNBRQK123456789/ -wbKQkqaeh0x";
                int edits = 1 + pick(4);
                for (int i = 0; i < edits && !f.empty(); ++i)
                    f[pick(static_cast<int>(f.size()))] =
                        alphabet[pick(static_cast<int>(alphabet.size()))];
                return f;
            }
            case 2: {
                int a = pick(static_cast<int>(f.size()));
                return f.substr(0, a) + f.substr(a, pick(10)) + f.substr(a);
            }
            case 3:
                return fromAlphabet("pnbrqkPNBRQK12345678/ -wbKQkqaeh0123", 80);
            default:
                return f;
        }
    }

    std::string garbageNumber() {
        static const std::vector<std::string> words = {
            "40", "0",  "-3", "1e9", "abc", "0:30", "5:",    "::",      "1e400", "2.5", "-0", "",
            "+7", "3x", ".",  "-",   "1e",  "0x10", "99999", "12:60:3", "nan",   "inf", " 40"};
        return words[pick(static_cast<int>(words.size()))];
    }

    std::string line(EngineState& e) {
        switch (pick(13)) {
            case 0:
                return randomBytes(40);
            case 1: {
                static const std::vector<std::string> words = {
                    "xboard", "protover 2", "new",       "setboard", "force", "level 40 5 0",
                    "go",     "time 3000",  "otim 10",   "usermove", "ping",  "draw",
                    "result", "?",          "playother", "undo",     "remove"};
                const std::string& w = words[pick(static_cast<int>(words.size()))];
                return w.substr(0, pick(static_cast<int>(w.size()) + 1));
            }
            case 2:
            case 3:
                return "setboard " + fenFragment();
            case 4:
                return "usermove " + fromAlphabet("abcdefghi0123456789qrbnkQRBNx -", 7);
            case 5:
            case 6: {
                if (!e.positionHeld) return "new";
                auto moves = legalMoveTexts(e);
                if (moves.empty()) return "new";
                std::string m = moves[pick(static_cast<int>(moves.size()))];
                if (m.size() == 5 && chance(50)) m[4] = static_cast<char>(m[4] - 32);
                return "usermove " + m;
            }
            case 7:
                return "level " + garbageNumber() + " " + garbageNumber() + " " + garbageNumber();
            case 8: {
                // Clocks up to a few hours, or text that reads as no clock at all.
                if (chance(50)) return "time " + garbageNumber();
                return "time " + std::to_string(pick(2000000) - 1000);
            }
            case 9: {
                static const std::vector<std::string> words = {
                    "new",     "force", "go",     "playother", "draw", "?",      "result 1/2-1/2",
                    "otim 12", "undo",  "remove", "hard",      "post", "random", "force"};
                return words[pick(static_cast<int>(words.size()))];
            }
            case 10:
                return std::string(pick(3), ' ') + "ping " + std::to_string(pick(1000)) +
                       (chance(30) ? "," + randomBytes(5) : "");
            case 11:
                return "\"" + fromAlphabet("abcdefgh12345678 ,\"", 12) + "\"" + randomBytes(4);
            default:
                return "force";
        }
    }

  private:
    std::mt19937 rng_;
};

bool mentionsQuit(const std::string& line) {
    std::string lower;
    for (char c : line) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("quit") != std::string::npos;
}

TEST(Robustness, RandomAndMalformedLinesLeaveASoundEngine) {
    // A reading of the clock moves it by one second: whatever budget garbage produces, thinking
    // stops after a few thousand nodes at most.
    Harness h(777, 1.0);
    h.handshake();
    EngineState& e = h.engine();
    Fuzzer fuzz(20261208);
    int illegalReplies = 0, engineMoves = 0, positionsChecked = 0, rejectedBoards = 0;
    for (int n = 0; n < 3000; ++n) {
        std::string line = fuzz.line(e);
        if (mentionsQuit(line)) continue;
        PositionSnapshot before(e);
        const int plyBefore = e.gamePly;
        const int sideBefore = e.sideToMove;
        auto out = h.send({line});
        ASSERT_FALSE(h.finished()) << "line " << n << " ended the session: " << line;
        for (const auto& o : out) {
            ASSERT_EQ(o.rfind("<unterminated>", 0), std::string::npos) << o;
            ASSERT_EQ(o.find('\r'), std::string::npos) << o;
            if (o.rfind("move ", 0) == 0) ++engineMoves;
            if (o == "tellusererror Illegal position") {
                ++rejectedBoards;
                ASSERT_FALSE(e.positionHeld) << line;
            }
            if (o.rfind("Illegal move: ", 0) == 0) {
                ++illegalReplies;
                // A refused move changes nothing.
                ASSERT_TRUE(PositionSnapshot(e) == before) << "line " << n << ": " << line;
                ASSERT_EQ(e.gamePly, plyBefore) << line;
                ASSERT_EQ(e.sideToMove, sideBefore) << line;
                ASSERT_EQ(e.engineState, 0);
            }
        }
        ASSERT_EQ(e.engineState, 0) << line;
        if (e.positionHeld) {
            ++positionsChecked;
            ASSERT_EQ(invariantViolations(e), "")
                << "after line " << n << ": " << line << "\nboard " << boardText(e);
            ASSERT_TRUE(e.sideToMove == 1 || e.sideToMove == -1);
        }
    }
    auto out = h.send({"ping 31337"});
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), "pong 31337");
    // The run exercised what it was meant to.
    EXPECT_GT(illegalReplies, 100);
    EXPECT_GT(engineMoves, 20);
    EXPECT_GT(positionsChecked, 500);
    EXPECT_GT(rejectedBoards, 50);
    // And a normal game can still start.
    out = h.send({"new", "force", "usermove e2e4", "ping 1"});
    EXPECT_EQ(out, (std::vector<std::string>{"pong 1"}));
    EXPECT_EQ(invariantViolations(e), "");
}

}  // namespace
}  // namespace qm::test

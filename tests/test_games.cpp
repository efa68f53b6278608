// Whole games: the engine against itself, in-process through the protocol and through the
// real binary's standard input and output, every move checked with the engine's own rules by
// a referee that follows the game in force mode.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "engine/opponent_move.h"
#include "search/driver.h"
#include "support/child_process.h"
#include "support/harness.h"

namespace qm::test {
namespace {

// Follows the game in force mode and judges every move and claim.
class Referee {
  public:
    explicit Referee(const std::string& fen) {
        h_.handshake();
        h_.send({"force", fen.empty() ? "new" : "setboard " + fen, "force"});
    }
    // Checks the move is legal for the side to move, then plays it.
    ::testing::AssertionResult play(const std::string& move) {
        EngineState& e = h_.engine();
        if (!opponentMoveLegal(e, move))
            return ::testing::AssertionFailure()
                   << "illegal move " << move << " in " << boardText(e) << " side " << e.sideToMove;
        h_.send({"usermove " + move});
        std::string problems = invariantViolations(e);
        if (!problems.empty()) return ::testing::AssertionFailure() << problems;
        ++plies_;
        return ::testing::AssertionSuccess();
    }
    // A claim is true when the position confirms it.
    ::testing::AssertionResult claimHolds(const std::string& claim) {
        EngineState& e = h_.engine();
        const std::string terminal = noMoveResult(e);
        if (!terminal.empty()) {
            if (claim == terminal) return ::testing::AssertionSuccess();
            return ::testing::AssertionFailure() << "claimed " << claim << " but " << terminal;
        }
        if (claim == "1/2-1/2") {
            // Fifty moves, repetition or dead material: the referee's own judgement.
            e.gamePly -= 1;
            const std::string again = confirmedClaim(e, claim);
            e.gamePly += 1;
            if (again == claim) return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "false claim " << claim << " in " << boardText(e);
    }
    std::string terminalResult() { return noMoveResult(h_.engine()); }
    int plies() const { return plies_; }

  private:
    Harness h_{99};
    int plies_ = 0;
};

std::string moveOf(const std::vector<std::string>& lines, std::string& result) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("move ", 0) == 0) {
            result = i + 1 < lines.size() ? lines[i + 1] : "<missing result line>";
            std::string text = lines[i].substr(5);
            for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            return text;
        }
    }
    result = lines.empty() ? "" : lines.back();
    return "";
}

struct Opening {
    std::string fen;  // "" for the start position
};

const Opening kOpenings[] = {
    {""},
    {"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3"},
    {"r3k2r/ppp2ppp/2n5/3pP3/8/8/PPP2PPP/R3K2R w KQkq d6 0 10"},
    {"8/5P2/8/8/3k4/8/1p6/4K3 w - - 0 50"},
};

// Plays one game between two in-process engines; returns the number of plies played.
void playInProcess(const Opening& opening, int maxPlies) {
    Harness white(1001, 2e-5), black(2002, 2e-5);
    white.handshake();
    black.handshake();
    Referee referee(opening.fen);
    const std::string setup = opening.fen.empty() ? "new" : "setboard " + opening.fen;
    white.send({"new", "force", setup, "level 0 1 0"});
    black.send({"new", "force", setup, "level 0 1 0"});

    bool whiteToMove = opening.fen.empty() || opening.fen.find(" w ") != std::string::npos;
    // The engine that moves second leaves force mode for the side not on move.
    (whiteToMove ? black : white).send({"playother"});
    std::vector<std::string> out = (whiteToMove ? white : black).send({"time 300", "go"});
    for (int ply = 0; ply < maxPlies; ++ply) {
        std::string result;
        std::string move = moveOf(out, result);
        if (move.empty()) {
            // No move: the side to move must have none, and the result says so.
            ASSERT_FALSE(referee.terminalResult().empty())
                << "engine stalled after " << referee.plies()
                << " plies; last output: " << (out.empty() ? std::string("<none>") : out.back());
            ASSERT_EQ(result, referee.terminalResult());
            std::printf("game ended after %d plies: %s\n", referee.plies(), result.c_str());
            return;
        }
        ASSERT_TRUE(referee.play(move));
        if (!result.empty()) {
            ASSERT_TRUE(referee.claimHolds(result));
            std::printf("game ended after %d plies: %s\n", referee.plies(), result.c_str());
            return;
        }
        Harness& next = whiteToMove ? black : white;
        whiteToMove = !whiteToMove;
        out = next.send({"time 300", "usermove " + move});
    }
}

TEST(SelfPlay, InProcessGamesAreLegalFromSeveralOpenings) {
    for (const Opening& opening : kOpenings) {
        SCOPED_TRACE(opening.fen.empty() ? "start position" : opening.fen);
        playInProcess(opening, 600);
    }
}

TEST(SelfPlay, ThroughTheRealBinary) {
    signal(SIGPIPE, SIG_IGN);
    Child white(engineCommand()), black(engineCommand());
    ASSERT_TRUE(white.started() && black.started());
    bool found = false;
    for (Child* c : {&white, &black}) {
        c->send("xboard");
        c->send("protover 2");
        c->readUntil("feature done=1", found);
        ASSERT_TRUE(found);
        c->send("new");
        c->send("level 0 0:10 0");
    }
    black.send("ping 1");
    black.readUntil("pong 1", found);
    ASSERT_TRUE(found);

    Referee referee("");
    white.send("time 50");
    white.send("go");
    Child* mover = &white;
    Child* other = &black;
    for (int ply = 0; ply < 60; ++ply) {
        std::vector<std::string> lines = mover->readUntil("move ", found);
        if (!found) {
            // A game over on the board: the engine prints the result instead of a move.
            ASSERT_FALSE(referee.terminalResult().empty()) << "no move from the engine";
            break;
        }
        std::string result;
        std::string move = moveOf(lines, result);
        auto resultLine = mover->readLine();
        ASSERT_TRUE(resultLine.has_value());
        ASSERT_TRUE(referee.play(move));
        if (!resultLine->empty()) {
            ASSERT_TRUE(referee.claimHolds(*resultLine));
            break;
        }
        other->send("time 50");
        other->send("usermove " + move);
        std::swap(mover, other);
    }
    EXPECT_GT(referee.plies(), 10);
    for (Child* c : {&white, &black}) {
        c->send("quit");
        int status = c->waitExit();
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}

TEST(SelfPlay, EndOfInputExitsCleanly) {
    Child engine(engineCommand());
    ASSERT_TRUE(engine.started());
    engine.send("xboard");
    engine.send("protover 2");
    engine.send("new");
    engine.send("usermove e2e4");
    bool found = false;
    engine.readUntil("move ", found);
    ASSERT_TRUE(found);
    // Closing the engine's input must end it with status 0 rather than leave it spinning.
    engine.closeInput();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = -1;
    while (std::chrono::steady_clock::now() < deadline) {
        if (engine.tryWaitExit(status)) break;
        usleep(10000);
    }
    ASSERT_NE(status, -1) << "the engine did not end at the end of its input";
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(SelfPlay, MoveNowAndQuitAreAnsweredWhileThinking) {
    // "st 30" makes a think of ten seconds or more; "?" or "quit" half a second into it is
    // answered within a fifth of a second.
    for (const std::string stop : {"?", "quit"}) {
        Child engine(engineCommand());
        for (const char* line : {"xboard", "protover 2", "new", "st 30", "go"}) engine.send(line);
        bool found = false;
        engine.readUntil("feature done=1", found);
        usleep(500000);
        while (auto line = engine.readLine(0.001)) ASSERT_NE(line->rfind("move ", 0), 0u);
        const auto sent = std::chrono::steady_clock::now();
        auto since = [&] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count();
        };
        engine.send(stop);
        int status = -1;
        if (stop == "?") {
            engine.readUntil("move ", found);
            ASSERT_TRUE(found);
            std::printf("move %.3f s after \"?\"\n", since());
            EXPECT_LT(since(), 0.2);
            engine.send("quit");
            status = engine.waitExit();
        } else {
            while (!engine.tryWaitExit(status) && since() < 20.0) usleep(1000);
            std::printf("exit %.3f s after \"quit\"\n", since());
            EXPECT_LT(since(), 0.2);
            while (auto line = engine.readLine(1.0)) EXPECT_NE(line->rfind("move ", 0), 0u);
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
}

}  // namespace
}  // namespace qm::test

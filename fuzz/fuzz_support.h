// Shared set-up of the fuzz targets: a fresh in-process engine for every input, with a manual
// clock, a fixed seed and tiny turns, whose every output line and every wait for input is
// checked. The engine is built anew in the same memory for each input, so that an input found
// reproduces on its own and no input pays for mapping megabytes of new memory.
//
// Checked: the game-state invariants whenever the engine waits for input; every line ends as
// its front end ends lines (CR LF for xboard, LF alone for UCI); every "move" and "bestmove" is
// legal in the position of the engine's game, set up again by a referee from the game's start
// text and recorded moves, and leaves the board the engine holds; "bestmove 0000" only without
// a position or a legal move; nothing is written once "quit" has been read. A failed check
// aborts, so libFuzzer keeps the input.
#pragma once

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "board/legal_moves.h"
#include "engine/commands.h"
#include "engine/fen_setup.h"
#include "engine/main_loop.h"
#include "engine/opponent_move.h"
#include "platform/platform.h"
#include "search/engine_state.h"
#include "support/harness.h"

namespace qm::fuzz {

[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

inline std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The first word of a line, as the UCI front end reads commands: words are separated by any
// white space.
inline std::string firstWord(const std::string& line) {
    auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    std::size_t start = 0;
    while (start < line.size() && blank(line[start])) ++start;
    std::size_t end = start;
    while (end < line.size() && !blank(line[end])) ++end;
    return line.substr(start, end - start);
}

// Knows the rules independently of the engine's search: sets the engine's game up again from
// its start text and the moves it recorded, in an engine of its own that only takes moves.
class Referee {
  public:
    Referee() {
        platform_.tableMegabytes = 0;  // one bucket: it never searches
        initialiseEngine(board_);
    }

    // Sets up the game the engine holds, all its recorded moves but the last `skip`. False
    // when the engine's record cannot be replayed (which is itself a fault).
    bool replay(const EngineState& e, int skip, std::string& why) {
        resetGame(board_);
        board_.sideToMove = e.setupSideToMove;
        if (!setupFromFen(board_, e.positionFen)) {
            why = "the game's start text is refused: " + e.positionFen;
            return false;
        }
        for (int i = 1; i <= e.historyCount - skip; ++i) {
            const std::string text(e.moveHistory[i].data());
            if (!play(text)) {
                why = "recorded move " + std::to_string(i) + " " + text + " is illegal";
                return false;
            }
        }
        return true;
    }

    // Plays a move of the side to move when it is legal.
    bool play(const std::string& text) {
        if (!opponentMoveLegal(board_, text)) return false;
        acceptOpponentMove(board_, text);
        applyOpponentMove(board_);
        board_.pendingMove.clear();
        board_.sideToMove = -board_.sideToMove;
        return true;
    }

    int legalMoveCount() {
        LegalMoveList moves;
        listLegalMoves(board_, moves);
        return moves.count;
    }

    std::string position() { return test::boardText(board_) + side(board_.sideToMove); }
    static std::string position(const EngineState& e) {
        return test::boardText(e) + side(e.sideToMove);
    }

  private:
    static std::string side(int s) { return s > 0 ? " w" : s < 0 ? " b" : " -"; }

    QueueLineSource input_;
    std::ostringstream output_;
    ManualClock clock_;
    SplitMixRandom random_{11, false};
    Platform platform_{input_, output_, clock_, random_};
    EngineState board_{platform_};
};

inline Referee& referee() {
    static Referee r;
    return r;
}

// The engine has just announced `move` (its text as written): it must be the last move of its
// game and legal where it was played, and the board must be the game's position after it.
// True when the referee then stands after the move.
inline bool checkEngineMove(const EngineState& e, const std::string& move) {
    Referee& r = referee();
    std::string why;
    if (!e.positionHeld) fail("move " + move + " without a position");
    if (!e.historyComplete) return false;  // a game too long to replay
    if (e.historyCount < 1 ||
        lowerCase(move) != lowerCase(std::string(e.moveHistory[e.historyCount].data())))
        fail("move " + move + " is not the last move of the game");
    if (!r.replay(e, 1, why)) fail(why);
    const std::string before = r.position();
    if (!r.play(move)) fail("move " + move + " is illegal in " + before);
    if (r.position() != Referee::position(e))
        fail("after " + move + " from " + before + " the engine holds " + Referee::position(e) +
             ", not " + r.position());
    return true;
}

// "bestmove 0000": no position, or none of the game's side to move has a legal move.
inline void checkNoMove(const EngineState& e) {
    if (!e.positionHeld || !e.historyComplete) return;
    Referee& r = referee();
    std::string why;
    if (!r.replay(e, 0, why)) fail(why);
    if (r.legalMoveCount() != 0) fail("bestmove 0000 in " + r.position() + " with legal moves");
}

struct FuzzEngine;

// The engine's output, checked line by line as each line is flushed.
class CheckedOutput : public std::streambuf {
  public:
    explicit CheckedOutput(FuzzEngine& owner) : owner_(owner) {}

  protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) pending_ += static_cast<char>(c);
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        pending_.append(s, static_cast<std::size_t>(n));
        return n;
    }
    int sync() override;

  private:
    FuzzEngine& owner_;
    std::string pending_;
};

// The queued input, with the invariants checked whenever the engine waits for a line, and
// "quit" noted when the engine takes it.
class WatchedInput : public LineSource {
  public:
    explicit WatchedInput(FuzzEngine& owner) : owner_(owner) {}
    void push(std::string line) { queue_.push(std::move(line)); }
    bool empty() const { return queue_.empty(); }
    bool readLine(std::string& line) override;
    Arrival pollLine(std::string& line) override {
        const Arrival arrival = queue_.pollLine(line);
        if (arrival == Arrival::kLine) note(line);
        return arrival;
    }

  private:
    void note(const std::string& line);

    FuzzEngine& owner_;
    QueueLineSource queue_;
};

struct FuzzEngine {
    bool uci = false;       // the UCI front end speaks (its first line was "uci")
    bool quitRead = false;  // the engine has taken "quit" from its input
    WatchedInput input{*this};
    CheckedOutput checkedOutput{*this};
    std::ostream output{&checkedOutput};
    ManualClock clock{0.0005};
    SplitMixRandom random{7, false};
    Platform platform{input, output, clock, random};
    EngineState engine{platform};

    FuzzEngine() {
        // Tiny turns: a couple of centiseconds and a few plies at most, and a position table of
        // one bucket (clearing even a megabyte for every input costs more than the input does;
        // one bucket has every probe meet an entry of another position, which must not mislead).
        platform.tableMegabytes = 0;
        engine.budgetCapCs = 1.0;
        engine.depthLimit = 2;
    }

    void xboardHandshake() {
        input.push("xboard");
        input.push("protover 2");
        handshake(engine);
    }

    // The whole program on these lines and then the input's lines, from its first line on.
    void converse(std::vector<std::string> first, const unsigned char* data, std::size_t size);

    // Runs main-loop passes until the queued lines are used up. Returns false after "quit".
    bool run() {
        while (!input.empty() || engine.engineState != 0 || !engine.heldLines.empty()) {
            if (!mainLoopPass(engine)) return false;
            check();
        }
        return true;
    }

    void check() {
        if (!engine.positionHeld) return;
        std::string problems = test::invariantViolations(engine);
        if (!problems.empty()) fail("invariant broken: " + problems);
    }

    void checkLine(const std::string& line) {
        if (quitRead) fail("\"" + line + "\" written after quit");
        if (!uci && line.rfind("move ", 0) == 0) checkEngineMove(engine, line.substr(5));
        if (uci && line.rfind("bestmove ", 0) == 0) {
            const std::string move = firstWord(line.substr(9));
            const std::size_t ponder = line.find(" ponder ");
            const std::string reply = ponder == std::string::npos ? "" : line.substr(ponder + 8);
            if (move == "0000")
                checkNoMove(engine);
            else if (checkEngineMove(engine, move) && !reply.empty() && !referee().play(reply))
                fail("ponder " + reply + " is illegal after " + move);
        }
    }
};

// A fresh engine for this input, built where the previous input's was.
inline FuzzEngine& freshEngine() {
    static std::optional<FuzzEngine> engine;
    engine.reset();
    return engine.emplace();
}

inline int CheckedOutput::sync() {
    std::size_t start = 0;
    for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos;
         start = end + 1) {
        std::string line = pending_.substr(start, end - start);
        const bool cr = !line.empty() && line.back() == '\r';
        if (cr != !owner_.uci)
            fail("\"" + line + "\" does not end in " + (owner_.uci ? "LF alone" : "CR LF"));
        if (cr) line.pop_back();
        owner_.checkLine(line);
    }
    pending_.erase(0, start);
    if (!pending_.empty()) fail("a line written without its line end: " + pending_);
    return 0;
}

inline void WatchedInput::note(const std::string& line) {
    const bool quit = owner_.uci ? firstWord(line) == "quit" : commandItem(line) == "quit";
    if (quit) owner_.quitRead = true;
}

inline bool WatchedInput::readLine(std::string& line) {
    owner_.check();
    if (!queue_.readLine(line)) return false;
    note(line);
    return true;
}

// Splits fuzz bytes into lines at '\n'.
inline std::vector<std::string> splitLines(const unsigned char* data, std::size_t size) {
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            lines.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (!current.empty()) lines.push_back(current);
    return lines;
}

inline void FuzzEngine::converse(std::vector<std::string> first, const unsigned char* data,
                                 std::size_t size) {
    uci = !first.empty() && commandItem(first.front()) == "uci";
    for (std::string& line : first) input.push(std::move(line));
    for (std::string& line : splitLines(data, size)) input.push(std::move(line));
    runEngine(engine);
}

}  // namespace qm::fuzz

#include "engine/uci.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/commands.h"
#include "engine/fen_setup.h"
#include "engine/game_history.h"
#include "engine/input_watch.h"
#include "engine/main_loop.h"
#include "engine/opponent_move.h"
#include "engine/time_budget.h"
#include "search/evaluation.h"
#include "search/thinking_output.h"
#include "search/thinking_watch.h"

namespace qm {

namespace {

// Budget of a turn that ends only when it is stopped or reaches its depth.
constexpr double kEndlessBudgetCs = 1e12;

// Words are separated by any white space: a carriage return inside a line separates words too,
// so that none is echoed back in an "info string" line, where it would end the line early.
bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && blank(line[i])) ++i;
        const std::size_t start = i;
        while (i < line.size() && !blank(line[i])) ++i;
        if (i > start) out.push_back(line.substr(start, i - start));
    }
    return out;
}

std::string firstWord(const std::string& line) {
    const auto all = words(line);
    return all.empty() ? std::string() : all.front();
}

int uciStopFor(EngineState& e, const std::string& raw, bool& hold) {
    // A line too long to read whole waits, to be refused after the turn.
    if (lineWasCut(raw)) return kNoStop;
    const std::string word = firstWord(raw);
    if (word == "isready") {
        writeLine(e.io, "readyok");
        hold = false;
        return kNoStop;
    }
    if (word == "stop") {
        hold = false;
        return kStopAndPlay;
    }
    if (word == "ponderhit" && e.pondering) {
        // The GUI's guess was played: from now on the turn is the plain "go" it stood for, its
        // budget counted from this moment, and the depths already completed count.
        e.pondering = false;
        e.thinkUntilStopped = false;
        e.clockStampTime = e.io.clock.seconds();
        e.moveBudgetCs = std::min(e.ponderHitBudgetCs, e.budgetCapCs);
        hold = false;
        return kNoStop;
    }
    return word == "quit" ? kStopWithoutMove : kNoStop;
}

// Drops the position and says why, echoing what was refused in short, printable form.
void refuse(EngineState& e, const std::string& why) {
    resetGame(e);
    writeLine(e.io, "info string " + printableEcho(why));
}

// A line that arrives while the engine thinks, when the lines already held fill their room.
void uciHoldRefused(EngineState& e, const std::string& raw) {
    writeLine(e.io, "info string too much input while thinking, ignored until the move: " +
                        printableEcho(raw));
}

// "position startpos|fen FEN [moves M...]": a refused position or move leaves none.
void setUpPosition(EngineState& e, const std::vector<std::string>& w) {
    resetGame(e);
    std::size_t i = 2;
    std::string fen;
    if (w.size() >= 2 && w[1] == "startpos") {
        fen = kStartingFen;
    } else if (w.size() >= 2 && w[1] == "fen") {
        for (; i < w.size() && w[i] != "moves"; ++i) fen += (fen.empty() ? "" : " ") + w[i];
    } else {
        refuse(e, "position needs startpos or fen");
        return;
    }
    e.positionFen = fen;
    if (!setupFromFen(e, fen)) {
        refuse(e, "illegal position " + fen);
        return;
    }
    if (i < w.size() && w[i] == "moves") ++i;
    for (; i < w.size(); ++i) {
        if (!opponentMoveLegal(e, w[i])) {
            refuse(e, "illegal move " + w[i]);
            return;
        }
        acceptOpponentMove(e, w[i]);
        applyOpponentMove(e);
        e.pendingMove.clear();
        e.sideToMove = -e.sideToMove;
    }
}

// "go [wtime T] [btime T] [winc T] [binc T] [movestogo N] [movetime T] [depth D] [infinite]
// [ponder]". Returns false when "quit" (or the end of input) ended the think: the run ends at
// once, and lines held while thinking are dropped.
bool go(EngineState& e, const std::vector<std::string>& w) {
    double clockMs[2] = {-1.0, -1.0}, incrementMs[2] = {0.0, 0.0};
    double movesToGo = 0.0, moveTimeMs = -1.0, depth = 0.0;
    bool infinite = false, ponder = false;
    for (std::size_t i = 1; i < w.size(); ++i) {
        auto value = [&] { return i + 1 < w.size() ? leadingNumber(w[++i]) : 0.0; };
        if (w[i] == "wtime") clockMs[0] = value();
        if (w[i] == "btime") clockMs[1] = value();
        if (w[i] == "winc") incrementMs[0] = value();
        if (w[i] == "binc") incrementMs[1] = value();
        if (w[i] == "movestogo") movesToGo = value();
        if (w[i] == "movetime") moveTimeMs = value();
        if (w[i] == "depth") depth = value();
        if (w[i] == "infinite") infinite = true;
        if (w[i] == "ponder") ponder = true;
    }
    e.clockStampTime = e.io.clock.seconds();
    // A ponder search that becomes "go infinite" at its hit is one already.
    e.pondering = ponder && !infinite;
    if (!e.positionHeld) {
        // Nothing to think about; while pondering the answer still waits for the hit or "stop".
        if (e.pondering) {
            e.thinkUntilStopped = true;
            beginTurnWatch(e);
            waitForStop(e);
            e.pondering = e.thinkUntilStopped = false;
            if (e.stopRequest == kStopWithoutMove) return false;
        }
        writeLine(e.io, "bestmove 0000");
        return true;
    }
    const int own = e.sideToMove > 0 ? 0 : 1;
    if (infinite) {
        e.moveBudgetCs = kEndlessBudgetCs;
    } else if (moveTimeMs > 0.0) {
        e.moveBudgetCs = fixedMoveBudget(moveTimeMs / 10.0);
    } else if (clockMs[own] >= 0.0) {
        e.moveBudgetCs =
            budgetForMovesToGo(clockMs[own] / 10.0, movesToGo, incrementMs[own] / 10.0);
    } else {
        e.moveBudgetCs = depth >= 1.0 ? kEndlessBudgetCs : kNoClockBudgetCs;
    }
    // Until the hit, the clock does not end a ponder search.
    e.ponderHitBudgetCs = e.moveBudgetCs;
    if (e.pondering) e.moveBudgetCs = kEndlessBudgetCs;
    e.playerDepthLimit =
        depth >= 1.0 ? static_cast<int>(std::min<double>(depth, kMaxDepth)) : kMaxDepth;
    e.thinkUntilStopped = infinite || e.pondering;
    e.expectedReply.clear();
    e.timeSinceLastMove = true;
    e.engineSide = e.sideToMove;
    e.engineState = 1;
    runEngineTurn(e);
    e.pondering = e.thinkUntilStopped = false;
    e.playerDepthLimit = kMaxDepth;
    if (e.engineState != 2) return false;  // given up: "quit" or the end of input
    e.engineState = 0;
    if (e.engineMoveText.empty()) {
        writeLine(e.io, "bestmove 0000");
        return true;
    }
    std::string move = e.engineMoveText.substr(5);
    for (char& c : move) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    writeLine(e.io,
              "bestmove " + move + (e.expectedReply.empty() ? "" : " ponder " + e.expectedReply));
    // The position stays the one the GUI set up, for a later "go" without a "position".
    takeBackGamePlies(e, 1);
    return true;
}

// The largest position table a GUI may ask for, in megabytes.
constexpr std::size_t kMostHashMegabytes = 1024;

std::string lowerCase(std::string s) {
    for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return s;
}

// "setoption name Hash value MB" sizes the position table (within 1..1024); "Ponder" only says
// that the GUI may send "go ponder"; other options are not the engine's.
void setOption(EngineState& e, const std::vector<std::string>& w) {
    if (w.size() < 5 || w[1] != "name" || lowerCase(w[2]) != "hash" || w[3] != "value") return;
    const double mb = leadingNumber(w[4]);
    const double clamped = mb < 1.0 ? 1.0 : mb > kMostHashMegabytes ? kMostHashMegabytes : mb;
    e.positionTable.setSize(static_cast<std::size_t>(clamped));
}

void identify(EngineState& e) {
    writeLine(e.io, "id name Quillomar");
    writeLine(e.io, std::string("id author ") + kAuthor);
    // The GUI may ask for thinking on the opponent's time ("go ponder") whatever its value.
    writeLine(e.io, "option name Ponder type check default false");
    writeLine(e.io, "option name Hash type spin default " + std::to_string(e.io.tableMegabytes) +
                        " min 1 max " + std::to_string(kMostHashMegabytes));
    writeLine(e.io, "uciok");
}

}  // namespace

bool uciInputCheck(EngineState& e, bool wait) {
    return watchInput(e, wait, &uciStopFor, &uciHoldRefused);
}

void uciIterationReport(EngineState& e) {
    const int score = e.plyScore[1][2] * e.engineSide;
    // Time since the "go", pondering included.
    const double elapsedMs = (e.io.clock.seconds() - e.turnStartTime) * 1000.0;
    std::string line = "info depth " + std::to_string(e.iterationDepth);
    if (std::abs(score) > kMateThreshold) {
        const int moves = (kMateScore - std::abs(score) + 1) / 2;
        line += " score mate " + std::to_string(score > 0 ? moves : -moves);
    } else {
        line += " score cp " + std::to_string(score);
    }
    char numbers[64];
    std::snprintf(numbers, sizeof numbers, " nodes %.0f time %.0f pv", e.nodeCount,
                  std::max(0.0, elapsedMs));
    line += numbers;
    const int length = e.pvLines[1][1][9];
    e.expectedReply.clear();
    for (int i = 1; i <= length && i <= kMaxDepth && e.pvLines[1][i][1] != 0; ++i) {
        const auto& m = e.pvLines[1][i];
        const std::string text = moveText(m[1], m[2], m[3], m[4], m[5]);
        if (i == 2) e.expectedReply = text;
        line += ' ' + text;
    }
    writeLine(e.io, line);
}

int runUci(EngineState& e) {
    // UCI GUIs read lines that end in a line feed alone.
    e.io.lineEnd = "\n";
    initialiseEngine(e);
    e.inputCheck = &uciInputCheck;
    e.iterationReport = &uciIterationReport;
    identify(e);
    std::string raw;
    while (readRawLine(e, raw)) {
        if (lineWasCut(raw)) {
            writeLine(e.io, "info string line longer than " + std::to_string(kLongestLine) +
                                " characters ignored");
            continue;
        }
        const std::vector<std::string> w = words(raw);
        if (w.empty()) continue;
        const std::string& command = w.front();
        if (command == "quit") break;
        if (command == "uci") identify(e);
        if (command == "isready") writeLine(e.io, "readyok");
        if (command == "ucinewgame") resetGame(e);
        if (command == "position") setUpPosition(e, w);
        if (command == "go" && !go(e, w)) break;
        if (command == "setoption") setOption(e, w);
        // "stop" and "ponderhit" with nothing to act on, "register", "debug" and unknown
        // commands have no effect.
    }
    return 0;
}

}  // namespace qm

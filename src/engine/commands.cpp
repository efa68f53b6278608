#include "engine/commands.h"

#include <cmath>
#include <cstdlib>

#include "board/game_record.h"
#include "board/state_init.h"
#include "engine/fen_setup.h"
#include "engine/game_history.h"
#include "engine/input_watch.h"
#include "engine/opponent_move.h"
#include "engine/time_budget.h"

namespace qm {

std::string commandItem(const std::string& raw) {
    std::size_t start = 0;
    while (start < raw.size() && (raw[start] == ' ' || raw[start] == '\t')) ++start;
    bool quoted = false;
    std::size_t end = start;
    for (; end < raw.size(); ++end) {
        if (raw[end] == '"') quoted = !quoted;
        if (raw[end] == ',' && !quoted) break;
    }
    std::string item = raw.substr(start, end - start);
    if (!item.empty() && item[0] == '"') {
        std::size_t close = item.find('"', 1);
        item = item.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    if (item.size() > kItemLimit) item.resize(kItemLimit);
    return item;
}

bool readCommandLine(EngineState& e) {
    std::string raw;
    if (!readRawLine(e, raw)) return false;
    e.inputLine = commandItem(raw);
    return true;
}

double leadingNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return 0.0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        std::size_t expDigits = 0;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j, ++expDigits;
        if (expDigits > 0) i = j;
    }
    double value = std::strtod(text.substr(start, i - start).c_str(), nullptr);
    return std::isfinite(value) ? value : 0.0;
}

std::string stripLeadingWord(const std::string& text, const std::string& word) {
    if (word.empty()) return text;
    std::size_t pos = 0;
    while (text.compare(pos, word.size(), word) == 0) pos += word.size();
    return text.substr(pos);
}

namespace {

bool startsWith(const std::string& line, const char* word) {
    return line.rfind(word, 0) == 0;
}

// "level MPS BASE INC": BASE in minutes or minutes:seconds, INC in seconds.
void readLevel(EngineState& e, const std::string& line) {
    const std::string rest = stripLeadingWord(line, "level ");
    const std::size_t blank = rest.find(' ');
    e.levelMoves = leadingNumber(rest.substr(0, blank));
    if (e.levelMoves < 0.0) e.levelMoves = 0.0;
    e.levelBaseCs = 0.0;
    e.levelIncrementCs = 0.0;
    if (blank != std::string::npos) {
        std::string fields = rest.substr(blank + 1);
        const std::size_t blank2 = fields.find(' ');
        const std::string base = fields.substr(0, blank2);
        const std::size_t colon = base.find(':');
        double minutes = leadingNumber(base.substr(0, colon));
        double seconds = colon == std::string::npos ? 0.0 : leadingNumber(base.substr(colon + 1));
        e.levelBaseCs = std::max(0.0, (minutes * 60.0 + seconds) * 100.0);
        if (blank2 != std::string::npos)
            e.levelIncrementCs = std::max(0.0, leadingNumber(fields.substr(blank2 + 1)) * 100.0);
    }
    e.levelSeen = true;
}

void illegalMove(EngineState& e, const std::string& text) {
    writeLine(e.io, "Illegal move: " + text);
}

// A line that arrives while the engine thinks: "?" wants the move now; a command that ends or
// changes the game gives up the turn; every other line waits until after the move.
int xboardStopFor(EngineState&, const std::string& raw, bool& hold) {
    const std::string item = commandItem(raw);
    if (item == "?") {
        hold = false;
        return kStopAndPlay;
    }
    if (item == "quit" || item == "force" || item == "new" || item == "undo" || item == "remove" ||
        startsWith(item, "setboard") || startsWith(item, "result"))
        return kStopWithoutMove;
    return kNoStop;
}

// A line that arrives while the engine thinks, when the lines already held fill their room.
void xboardHoldRefused(EngineState& e, const std::string& raw) {
    writeLine(e.io, "Error (too much input while thinking, ignored until the move): " +
                        printableEcho(commandItem(raw)));
}

}  // namespace

bool xboardInputCheck(EngineState& e, bool wait) {
    return watchInput(e, wait, &xboardStopFor, &xboardHoldRefused);
}

double currentMoveBudget(EngineState& e, double clockCs) {
    if (e.fixedMoveCs > 0.0) return fixedMoveBudget(e.fixedMoveCs);
    return moveBudget(clockCs, e.levelMoves, timeControlPly(e), e.levelIncrementCs);
}

void resetGame(EngineState& e) {
    e.board.clear();
    e.occupied.clear();
    e.kindSquares.clear();
    e.piecePos.clear();
    e.pieceKind.clear();
    e.pieceSlots.clear();
    clearGameRows(e);
    for (int k = 1; k <= 5; ++k) {
        e.materialCount[k][1] = e.materialCount[k][2] = 0;
        e.materialCount[-k][1] = e.materialCount[-k][2] = 0;
    }
    e.epInfo.clear();
    e.kingPos.clear();
    e.engineState = 0;
    e.gamePly = 1;
    resetPieceIdentities(e);
    e.pendingMove.clear();
    e.positionHeld = false;
    e.gamePlyBase = 0;
    e.setupRow = 0;
    e.historyCount = 0;
    e.historyComplete = true;
}

void handleCommand(EngineState& e) {
    if (e.engineState != 2) {
        if (!readCommandLine(e)) {
            // End of input: leave as on "quit".
            e.inputLine = "quit";
        }
    }
    const std::string& line = e.inputLine;

    if (line == "new") {
        resetGame(e);
        e.positionFen = kStartingFen;
        setupFromFen(e, e.positionFen);
        // A new game: leave force mode, the engine plays Black, no depth limit.
        e.forceMode = 0;
        e.engineSide = -1;
        e.playerDepthLimit = kMaxDepth;
    }
    if (startsWith(line, "setboard")) {
        // The text is checked before anything is written: a rejected position leaves the
        // engine without one until the next "new" or valid "setboard".
        resetGame(e);
        e.positionFen = stripLeadingWord(line, "setboard ");
        if (!setupFromFen(e, e.positionFen)) writeLine(e.io, "tellusererror Illegal position");
    }
    if (line == "quit") {
        e.engineState = 0;
        e.gamePly = 1;
    }
    if (line == "force") {
        e.forceMode = 1;
        e.engineState = 0;
    }
    if (startsWith(line, "level")) {
        readLevel(e, line);
        e.fixedMoveCs = 0.0;
    }
    // "st SECONDS": a fixed time per move, until the next "level".
    if (startsWith(line, "st ")) {
        const double seconds = leadingNumber(stripLeadingWord(line, "st "));
        if (seconds > 0.0) e.fixedMoveCs = seconds * 100.0;
    }
    // "sd DEPTH": the deepest iteration, until the next "new".
    if (startsWith(line, "sd ")) {
        const double depth = leadingNumber(stripLeadingWord(line, "sd "));
        if (depth >= 1.0)
            e.playerDepthLimit = depth < kMaxDepth ? static_cast<int>(depth) : kMaxDepth;
    }
    if (line == "post") e.showThinking = true;
    if (line == "nopost") e.showThinking = false;
    if (line == "go") {
        e.forceMode = 0;
        e.engineSide = e.sideToMove;
        if (e.positionHeld) e.engineState = 1;
    }
    if (line == "playother") {
        e.forceMode = 0;
        e.engineSide = -e.sideToMove;
        e.engineState = 0;
    }
    if (startsWith(line, "time")) {
        e.engineClockCs = leadingNumber(stripLeadingWord(line, "time "));
        e.moveBudgetCs = currentMoveBudget(e, e.engineClockCs);
        e.clockStampTime = e.io.clock.seconds();
        e.timeSinceLastMove = true;
    }
    // "otim": the opponent's clock is not used.
    if (startsWith(line, "usermove")) {
        std::string text = stripLeadingWord(line, "usermove ");
        if (!opponentMoveLegal(e, text)) {
            illegalMove(e, text);
        } else {
            acceptOpponentMove(e, text);
            if (e.forceMode == 0) {
                e.engineState = 1;
            } else {
                e.engineState = 0;
                applyOpponentMove(e);
                e.pendingMove.clear();
            }
            e.engineSide = -e.sideToMove;
            e.sideToMove = -e.sideToMove;
        }
    }
    if (e.engineState == 2) {
        if (!e.engineMoveText.empty()) {
            writeLine(e.io, e.engineMoveText);
            writeLine(e.io, e.resultText);
            e.gamePly += 1;
            ensurePlyCapacity(e);
        } else if (!e.resultText.empty()) {
            writeLine(e.io, e.resultText);
        }
        e.engineState = 0;
        e.timeSinceLastMove = false;
    }
    if (startsWith(line, "ping")) writeLine(e.io, "pong" + stripLeadingWord(line, "ping"));
    // "draw" and "?" are recognised and need no action.
    if (startsWith(line, "result")) resetGame(e);
    // Take-backs from the GUI: one ply ("undo") or the last two ("remove").
    if (line == "undo") takeBackGamePlies(e, 1);
    if (line == "remove") takeBackGamePlies(e, 2);
    if (line != "quit") e.inputLine.clear();
}

}  // namespace qm

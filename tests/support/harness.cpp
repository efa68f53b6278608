#include "support/harness.h"

#include <utility>

#include "board/candidates.h"
#include "board/king_safety.h"
#include "board/make_move.h"
#include "engine/commands.h"
#include "engine/fen_setup.h"
#include "engine/main_loop.h"
#include "search/take_back.h"

namespace qm::test {

Harness::Harness(std::uint64_t seed, double clockStep)
    : clock_(clockStep),
      random_(seed, false),
      platform_{input_, output_, clock_, random_},
      engine_(std::make_unique<EngineState>(platform_)) {
    input_.setArrivalClock(&clock_);
    // A clock that moves by reading measures the search in readings: the tests' steps assume
    // one at every finished interior node.
    if (clockStep != 0.0) engine_->clockReadingInterval = 1;
}

std::vector<std::string> Harness::handshake() {
    input_.push("xboard");
    input_.push("protover 2");
    qm::handshake(*engine_);
    return splitOutput();
}

void Harness::initialise() {
    initialiseEngine(*engine_);
}

std::vector<std::string> Harness::send(std::initializer_list<std::string> lines) {
    return send(std::vector<std::string>(lines));
}

void Harness::queue(const std::vector<std::string>& lines, const Arrivals& arrivals) {
    for (const auto& line : lines) input_.push(line);
    for (const auto& [line, seconds] : arrivals) input_.pushArriving(line, seconds);
}

std::vector<std::string> Harness::send(const std::vector<std::string>& lines) {
    return send(lines, {});
}

std::vector<std::string> Harness::send(const std::vector<std::string>& lines,
                                       const Arrivals& arrivals) {
    queue(lines, arrivals);
    while (!finished_ &&
           (!input_.empty() || engine_->engineState != 0 || !engine_->heldLines.empty())) {
        if (!mainLoopPass(*engine_)) finished_ = true;
    }
    return splitOutput();
}

std::vector<std::string> Harness::converse(const std::vector<std::string>& lines,
                                           const Arrivals& arrivals) {
    queue(lines, arrivals);
    runEngine(*engine_);
    finished_ = true;
    return splitOutput();
}

std::string Harness::takeRawOutput() {
    std::string raw = output_.str();
    output_.str("");
    return raw;
}

std::vector<std::string> Harness::splitOutput() {
    std::string raw = takeRawOutput();
    // Every line must end as the front end in use ends its lines (CR LF for xboard, LF for UCI).
    const std::string_view lineEnd = platform_.lineEnd;
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < raw.size()) {
        std::size_t end = raw.find(lineEnd, pos);
        if (end != std::string::npos && lineEnd == "\n" && end > pos && raw[end - 1] == '\r')
            end = std::string::npos;  // a CR before the LF of a UCI line
        if (end == std::string::npos) {
            lines.push_back("<unterminated>" + raw.substr(pos));
            break;
        }
        lines.push_back(raw.substr(pos, end - pos));
        pos = end + lineEnd.size();
    }
    return lines;
}

bool Harness::setPosition(const std::string& fen) {
    resetGame(*engine_);
    engine_->positionFen = fen;
    return setupFromFen(*engine_, fen);
}

std::string invariantViolations(EngineState& e) {
    std::ostringstream problems;
    for (int i = -16; i <= 16; ++i) {
        if (i == 0) continue;
        int f = e.piecePos[i][1], r = e.piecePos[i][2];
        if (f == 0) continue;
        if (f < 1 || f > 8 || r < 1 || r > 8) {
            problems << "piece " << i << " off the board at " << f << "," << r << "; ";
            continue;
        }
        if (e.board[f][r] != i) problems << "board at " << f << r << " does not hold " << i << "; ";
        if (e.pieceKind[i] == 0 || (e.pieceKind[i] > 0) != (i > 0))
            problems << "kind " << e.pieceKind[i] << " of piece " << i << "; ";
        int k = e.pieceKind[i] < 0 ? -e.pieceKind[i] : e.pieceKind[i];
        static const int slotsByKind[11] = {0, 18, 8, 28, 28, 56, 10, 10, 10, 10, 18};
        if (k >= 1 && k <= 10 && e.pieceSlots[i] != slotsByKind[k])
            problems << "slots " << e.pieceSlots[i] << " of piece " << i << "; ";
    }
    for (int side = -1; side <= 1; side += 2) {
        SquareSet held = 0;
        for (int f = 1; f <= 8; ++f)
            for (int r = 1; r <= 8; ++r)
                if (e.board[f][r] * side > 0) held |= squareSet(f, r);
        if (held != e.occupied[side]) problems << "occupied squares of colour " << side << "; ";
    }
    Table<Table<int, 1, 2>, -5, 5> counted;
    counted.clear();
    for (int f = 1; f <= 8; ++f)
        for (int r = 1; r <= 8; ++r) {
            int i = e.board[f][r];
            if (i == 0) continue;
            if (i < -16 || i > 16 || e.piecePos[i][1] != f || e.piecePos[i][2] != r) {
                problems << "square " << f << r << " holds " << i << " placed elsewhere; ";
                continue;
            }
            int kind = e.pieceKind[i];
            int k = kind < 0 ? -kind : kind;
            if (k == 10) kind = kind > 0 ? 1 : -1;
            if (k > 5 && k < 10) continue;
            if (k == 3)
                counted[kind][((f + r) % 2 == 1) ? 1 : 2] += 1;
            else
                counted[kind][1] += 1;
        }
    for (int k = -5; k <= 5; ++k)
        for (int c = 1; c <= 2; ++c)
            if (k != 0 && counted[k][c] != e.materialCount[k][c])
                problems << "materialCount[" << k << "][" << c << "] " << e.materialCount[k][c]
                         << " but the board has " << counted[k][c] << "; ";
    for (int s : {1, -1}) {
        int king = e.pieceIndexOf[13] * s;
        int k = e.pieceKind[king] * s;
        if (k < 6 || k > 9) {
            problems << "pieceIndexOf[13] names no king of colour " << s << "; ";
            continue;
        }
        if (e.kingPos[s][1] != e.piecePos[king][1] || e.kingPos[s][2] != e.piecePos[king][2])
            problems << "kingPos of colour " << s << " is not the king's square; ";
    }
    if (e.sideToMove == 1 || e.sideToMove == -1) {
        // The side not to move must not be in check.
        int other = -e.sideToMove;
        int king = e.pieceIndexOf[13] * other;
        if (e.piecePos[king][1] != 0) {
            int saved = e.sideToMove;
            e.sideToMove = other;
            int result;
            testKingSafety(e, result, king, e.piecePos[king][1], e.piecePos[king][2],
                           e.piecePos[king][1], e.piecePos[king][2]);
            e.sideToMove = saved;
            if (result != kKingSafe) problems << "the side to move can capture the king; ";
        }
    }
    return problems.str();
}

PositionSnapshot::PositionSnapshot(const EngineState& e)
    : board(e.board),
      piecePos(e.piecePos),
      pieceKind(e.pieceKind),
      pieceSlots(e.pieceSlots),
      kingPos(e.kingPos),
      epInfo(e.epInfo),
      materialCount(e.materialCount) {}

bool makeBySquares(EngineState& e, int p, int ff, int fr, int tf, int tr, int promotion) {
    const int savedDepth = e.iterationDepth;
    e.iterationDepth = kMaxDepth;
    generateCandidates(e, p);
    e.iterationDepth = savedDepth;
    std::vector<std::pair<int, int>> list;
    for (int n = 1; n <= e.moveCount[p]; ++n)
        list.emplace_back(e.moveList[p][n][kCandPiece], e.moveList[p][n][kCandSlot]);
    for (auto [piece, slot] : list) {
        int made = 0;
        makeListedMove(e, made, p, piece, slot);
        if (made == 0) continue;
        const auto& r = e.plyRecord[p];
        if (r[kRecFromFile] == ff && r[kRecFromRank] == fr && r[kRecToFile] == tf &&
            r[kRecToRank] == tr && absOf(r[kRecPromotion]) == promotion) {
            e.plyRecord[p][kRecKindAfterSearch] = e.pieceKind[e.sideToMove * piece];
            return true;
        }
        takeBackMove(e, p);
    }
    return false;
}

std::string boardText(const EngineState& e) {
    std::string text;
    static const char letters[] = ".pnbrqkkkkp";
    for (int r = 8; r >= 1; --r) {
        int empty = 0;
        for (int f = 1; f <= 8; ++f) {
            int i = e.board[f][r];
            if (i == 0) {
                ++empty;
                continue;
            }
            if (empty) text += static_cast<char>('0' + empty), empty = 0;
            int kind = e.pieceKind[i];
            int k = kind < 0 ? -kind : kind;
            char c = k <= 10 ? letters[k] : '?';
            if (kind > 0) c = static_cast<char>(c - 32);
            text += c;
        }
        if (empty) text += static_cast<char>('0' + empty);
        if (r > 1) text += '/';
    }
    return text;
}

}  // namespace qm::test

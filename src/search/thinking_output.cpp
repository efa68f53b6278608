#include "search/thinking_output.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qm {

namespace {

void appendInt(std::string& out, int value) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "% d", value);
    out += buf;
}

}  // namespace

std::string moveText(int fromFile, int fromRank, int toFile, int toRank, int promotionKind,
                     bool upperCasePromotion) {
    std::string text;
    text += static_cast<char>(96 + fromFile);
    text += std::to_string(fromRank);
    text += static_cast<char>(96 + toFile);
    text += std::to_string(toRank);
    static constexpr char kLower[] = {0, 0, 'n', 'b', 'r', 'q'};
    static constexpr char kUpper[] = {0, 0, 'N', 'B', 'R', 'Q'};
    if (promotionKind >= 2 && promotionKind <= 5)
        text += upperCasePromotion ? kUpper[promotionKind] : kLower[promotionKind];
    return text;
}

void printThinkingLine(EngineState& e) {
    const int S = e.plyScore[1][2];
    const int N = e.pvLines[1][1][9];
    const double elapsed = (e.io.clock.seconds() - e.clockStampTime) * 100.0 + 0.5;
    const int T = static_cast<int>(std::floor(elapsed));

    std::string line;
    appendInt(line, e.iterationDepth);
    line += ' ';
    appendInt(line, S * e.engineSide);
    appendInt(line, T);
    char nodes[40];
    std::snprintf(nodes, sizeof nodes, "% .16g", e.nodeCount);
    line += nodes;
    line += ' ';
    appendInt(line, N);
    appendInt(line, e.iterationDepth + e.maxQuiescenceDepth);
    line += ' ';
    for (int i = 1; i <= N && i <= kMaxDepth; ++i) {
        const auto& m = e.pvLines[1][i];
        if (m[1] != 0) {
            line += moveText(m[1], m[2], m[3], m[4], m[5]);
            line += ' ';
        } else if (i >= 2 && e.pvLines[1][i - 1][1] != 0) {
            if (S == 0) line += "draw ";
            if (std::abs(S) > kMateThreshold) line += "++ ";
        }
    }
    line += ' ';
    if (e.showThinking) writeLine(e.io, line);

    e.resultText = "";
    const bool oneMove = e.pvLines[1][2][1] == 0;
    if (S == 0 && oneMove) e.resultText = "1/2-1/2";
    if (S > kMateThreshold && oneMove) e.resultText = "1-0";
    if (S < -kMateThreshold && oneMove) e.resultText = "0-1";
}

}  // namespace qm

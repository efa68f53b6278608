#include "search/driver.h"

#include "board/candidates.h"
#include "board/game_record.h"
#include "board/king_safety.h"
#include "board/legal_moves.h"
#include "board/make_move.h"
#include "search/draw_rules.h"
#include "search/engine_move.h"
#include "search/evaluation.h"
#include "search/search.h"
#include "search/take_back.h"
#include "search/thinking_output.h"
#include "search/thinking_watch.h"

namespace qm {

namespace {

bool sideInCheck(EngineState& e, int side) {
    const int saved = e.sideToMove;
    e.sideToMove = side;
    const int king = e.pieceIndexOf[13] * side;
    int result;
    testKingSafety(e, result, king, e.kingPos[side][1], e.kingPos[side][2], e.kingPos[side][1],
                   e.kingPos[side][2]);
    e.sideToMove = saved;
    return result == kKingAttacked;
}

}  // namespace

void clearIterationTables(EngineState& e) {
    e.quiescenceDepth = 0;
    e.maxQuiescenceDepth = 0;
    // The candidate rows themselves are only ever read below their counts, so clearing the
    // counts is enough for them.
    e.moveCount.clear();
    e.plyScore.clear();
    e.pvLines.clear();
    e.lineLength.clear();
    e.repetitionFlags.clear();
    e.bucketCount.clear();
    e.bucketsInUse = 0;
    e.fiftyMoveFlag = 0;
    e.materialDrawFlag = 0;
    e.nodeCount = 0.0;
    e.legalMovesAtPly.clear();
}

const char* noMoveResult(EngineState& e) {
    LegalMoveList moves;
    listLegalMoves(e, moves);
    if (moves.count > 0) return "";
    if (!sideInCheck(e, e.sideToMove)) return "1/2-1/2";
    return e.sideToMove == 1 ? "0-1" : "1-0";
}

const char* confirmedClaim(EngineState& e, const std::string& thinkingClaim) {
    const char* terminal = noMoveResult(e);
    if (*terminal != '\0') return terminal;
    if (thinkingClaim != "1/2-1/2") return "";
    const int row = e.gamePly;
    if (e.gameMoves[row][8] >= 100) return "1/2-1/2";
    if (gameRepetition(e, row)) return "1/2-1/2";
    if (deadMaterial(e)) return "1/2-1/2";
    return "";
}

void engineTurn(EngineState& e) {
    e.sideToMove = e.engineSide;
    const std::string claimBefore = e.resultText;
    e.engineMoveText.clear();
    beginTurnWatch(e);

    LegalMoveList legal;
    listLegalMoves(e, legal);
    if (legal.count == 0 || e.stopRequest == kStopWithoutMove) {
        if (e.thinkUntilStopped) waitForStop(e);
        if (e.stopRequest == kStopWithoutMove) {
            e.engineState = 0;
            return;
        }
        // Nothing to play: the game is over on the board. Announce the result only.
        e.resultText = noMoveResult(e);
        e.engineState = 2;
        return;
    }

    if (e.moveBudgetCs > e.budgetCapCs) e.moveBudgetCs = e.budgetCapCs;

    Table<PvEntry, 1, kMaxDepth> savedPv;
    savedPv.clear();
    bool completed = false;

    // Moves that ended plies are remembered for this turn only; the position table is kept.
    e.turnNumber += 1;
    e.killerMoves.clear();
    e.lastPlyKiller.clear();
    e.cutHistory.clear();

    e.iterationDepth = 0;
    e.searchStatus = 1;
    e.bestRootPiece = e.bestRootSlot = e.firstRootPiece = e.firstRootSlot = 1;
    for (;;) {
        e.iterationDepth += 1;
        clearIterationTables(e);
        e.sideToMove = e.engineSide;
        searchIteration(e);
        if (e.searchStatus == 1) {
            if (e.iterationReport != nullptr)
                e.iterationReport(e);
            else
                printThinkingLine(e);
            for (int i = 1; i <= e.iterationDepth; ++i) savedPv[i] = e.pvLines[1][i];
            e.firstRootPiece = e.bestRootPiece;
            e.firstRootSlot = e.bestRootSlot;
            completed = true;
        }
        const double now = e.io.clock.seconds();
        if ((now - e.clockStampTime) * 100.0 > e.moveBudgetCs / 3.0) e.searchStatus = 2;
        if (inputEndsTurn(e, now, true)) e.searchStatus = 0;
        if (e.iterationDepth == e.maxDepth || e.iterationDepth >= e.depthLimit ||
            e.iterationDepth >= e.playerDepthLimit || e.searchStatus == 0 || e.searchStatus == 2 ||
            e.pvLines[1][e.iterationDepth][1] == 0)
            break;
    }
    if (e.searchStatus == 2) e.searchStatus = 0;
    e.sideToMove = e.engineSide;
    if (e.thinkUntilStopped) waitForStop(e);
    if (e.stopRequest == kStopWithoutMove) {
        // The turn is given up: the search has left the board as it found it.
        e.resultText = claimBefore;
        e.engineState = 0;
        return;
    }

    if (!completed) {
        // No iteration finished: play the best root move the stopped iteration had found, or
        // else the first legal move.
        if (e.pvLines[1][1][1] != 0) {
            savedPv[1] = e.pvLines[1][1];
        } else {
            savedPv[1] = legal.entry[1];
        }
    }
    for (int i = 1; i <= e.iterationDepth; ++i) e.pvLines[1][i] = savedPv[i];

    e.engineState = 2;
    formatEngineMove(e);
    const std::string thinkingClaim = e.resultText;
    makeEngineMove(e);
    recordGameMove(e, e.engineMoveText.substr(5), true);
    e.sideToMove = -e.engineSide;
    e.resultText = confirmedClaim(e, completed ? thinkingClaim : std::string());
}

}  // namespace qm

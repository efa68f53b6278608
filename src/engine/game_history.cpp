#include "engine/game_history.h"

#include "board/game_record.h"
#include "board/legal_moves.h"
#include "engine/commands.h"
#include "engine/fen_setup.h"
#include "engine/opponent_move.h"
#include "search/engine_move.h"

namespace qm {

namespace {

// Replays one recorded move the way it was first played, so that the key arithmetic and every
// table come out as they did.
void replayMove(EngineState& e, const std::array<char, 8>& entry) {
    std::string text(entry.data());
    const int mover = e.sideToMove;
    if (entry[6] == 0) {
        e.pendingMove = text;
        e.gamePly += 1;
        applyOpponentMove(e);
        e.pendingMove.clear();
    } else {
        LegalMoveList moves;
        listLegalMoves(e, moves);
        const int ff = text[0] - 96, fr = text[1] - '0', tf = text[2] - 96, tr = text[3] - '0';
        for (int n = 1; n <= moves.count; ++n) {
            const auto& m = moves.entry[n];
            const int promotion = text.size() == 5 ? promotionLetterKind(text[4]) : 0;
            if (m[1] == ff && m[2] == fr && m[3] == tf && m[4] == tr && m[5] == promotion) {
                e.pvLines[1][1] = m;
                break;
            }
        }
        const int savedEngineSide = e.engineSide;
        e.engineSide = mover;
        e.engineMoveText = "move " + text;
        makeEngineMove(e);
        e.engineSide = savedEngineSide;
        e.gamePly += 1;
    }
    e.sideToMove = -mover;
    ensurePlyCapacity(e);
}

}  // namespace

bool takeBackGamePlies(EngineState& e, int plies) {
    if (!e.positionHeld || !e.historyComplete || e.historyCount < plies) return false;
    const int keep = e.historyCount - plies;
    const int engineSide = e.engineSide;
    const int forceMode = e.forceMode;
    const std::string resultText = e.resultText;

    // A set-up text without a side to move took the side of the moment: give it the same one.
    const int setupSide = e.setupSideToMove;
    resetGame(e);
    e.sideToMove = setupSide;
    if (!setupFromFen(e, e.positionFen)) return false;
    int replayed = 0;
    for (int i = 1; i <= keep; ++i) {
        auto entry = e.moveHistory[i];
        if (!opponentMoveLegal(e, std::string(entry.data()))) break;  // cannot happen
        replayMove(e, entry);
        replayed = i;
    }
    e.historyCount = replayed;
    e.engineSide = engineSide;
    e.forceMode = forceMode;
    e.resultText = resultText;
    e.engineMoveText.clear();
    e.engineState = 0;
    return true;
}

}  // namespace qm

#include "search/thinking_watch.h"

namespace qm {

void beginTurnWatch(EngineState& e) {
    e.stopRequest = kNoStop;
    e.heldLinesSeen = 0;
    e.heldLineRefused = false;
    e.lastInputCheck = -1e300;
    e.callsUntilClockReading = 0;
    // Lines held from before the turn, and what has arrived, may end it before it starts.
    if (e.inputCheck != nullptr) e.inputCheck(e, false);
}

bool inputEndsTurn(EngineState& e, double now, bool always) {
    if (e.stopRequest != kNoStop) return true;
    if (e.inputCheck == nullptr) return false;
    if (!always && now - e.lastInputCheck < kInputCheckInterval) return false;
    e.lastInputCheck = now;
    return e.inputCheck(e, false);
}

bool turnMustEnd(EngineState& e) {
    if (--e.callsUntilClockReading > 0) return false;
    e.callsUntilClockReading = e.clockReadingInterval;
    const double now = e.io.clock.seconds();
    if ((now - e.clockStampTime) * 100.0 > e.moveBudgetCs) return true;
    return inputEndsTurn(e, now, false);
}

void waitForStop(EngineState& e) {
    if (e.stopRequest == kNoStop && e.inputCheck != nullptr) e.inputCheck(e, true);
    // Without input to wait for, the turn ends as if stopped.
    if (e.stopRequest == kNoStop) e.stopRequest = kStopAndPlay;
}

}  // namespace qm

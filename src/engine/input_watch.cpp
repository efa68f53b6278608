#include "engine/input_watch.h"

#include "engine/commands.h"

namespace qm {

bool readRawLine(EngineState& e, std::string& raw) {
    if (e.heldLines.empty()) return e.io.input.readLine(raw);
    raw = std::move(e.heldLines.front());
    e.heldLines.pop_front();
    return true;
}

bool watchInput(EngineState& e, bool wait, StopRule stopFor) {
    // Held lines arrived before anything still to come.
    while (e.stopRequest == kNoStop && e.heldLinesSeen < e.heldLines.size()) {
        bool hold = true;
        e.stopRequest = stopFor(e, e.heldLines[e.heldLinesSeen++], hold);
    }
    std::string raw;
    while (e.stopRequest == kNoStop) {
        if (wait) {
            if (!e.io.input.readLine(raw)) {
                e.stopRequest = kStopWithoutMove;
                break;
            }
        } else {
            const Arrival arrival = e.io.input.pollLine(raw);
            if (arrival == Arrival::kNothingYet) break;
            if (arrival == Arrival::kEnd) {
                if (e.thinkUntilStopped) e.stopRequest = kStopWithoutMove;
                break;
            }
        }
        bool hold = true;
        const int stop = stopFor(e, raw, hold);
        if (hold) {
            e.heldLines.push_back(std::move(raw));
            e.heldLinesSeen = e.heldLines.size();
        }
        e.stopRequest = stop;
    }
    return e.stopRequest != kNoStop;
}

}  // namespace qm

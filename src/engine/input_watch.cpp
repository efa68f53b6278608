#include "engine/input_watch.h"

#include "engine/commands.h"

namespace qm {

std::string printableEcho(const std::string& input) {
    constexpr std::size_t kLongestEcho = 200;
    std::string text(input, 0, kLongestEcho);
    if (input.size() > kLongestEcho) text += "...";
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    return text;
}

bool readRawLine(EngineState& e, std::string& raw) {
    if (e.heldLines.empty()) return e.io.input.readLine(raw);
    raw = std::move(e.heldLines.front());
    e.heldLines.pop_front();
    e.heldBytes -= raw.size() + 1;
    return true;
}

bool watchInput(EngineState& e, bool wait, StopRule stopFor, RefusalNotice refused) {
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
        // Once a line of the turn found no room, so do the later ones: what is held stays a run of
        // lines in the order they came, and no later line acts without one before it.
        if (hold && stop == kNoStop &&
            (e.heldLineRefused || e.heldBytes + raw.size() + 1 > kMostHeldBytes)) {
            if (!e.heldLineRefused) refused(e, raw);
            e.heldLineRefused = true;
            hold = false;
        }
        if (hold) {
            e.heldBytes += raw.size() + 1;
            e.heldLines.push_back(std::move(raw));
            e.heldLinesSeen = e.heldLines.size();
        }
        e.stopRequest = stop;
        // A line that ends the thinking until stopped (a ponder hit) ends the wait too.
        if (wait && !e.thinkUntilStopped) break;
    }
    return e.stopRequest != kNoStop;
}

}  // namespace qm

// In-process engine for tests: protocol lines in, protocol lines out, a manual clock and a
// fixed random seed. Also the game-state invariant check shared by the tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "search/engine_state.h"

namespace qm::test {

class Harness {
  public:
    explicit Harness(std::uint64_t seed = 12345, double clockStep = 0.0);

    EngineState& engine() { return *engine_; }
    ManualClock& clock() { return clock_; }

    // Runs the handshake ("xboard", "protover 2") and returns its output lines.
    std::vector<std::string> handshake();

    // Sets up the tables without a handshake.
    void initialise();

    // Queues the lines and runs main-loop passes until the queue is empty and no engine move
    // waits to be announced (or "quit" was read). Returns the output lines it produced, split
    // at CR LF (the line ends themselves are checked: a bare LF fails the test).
    std::vector<std::string> send(std::initializer_list<std::string> lines);
    std::vector<std::string> send(const std::vector<std::string>& lines);

    // The same, and then lines that reach the engine at the given times on the manual clock,
    // also while it thinks (a plain line reaches it only when it next waits for input).
    using Arrivals = std::vector<std::pair<std::string, double>>;
    std::vector<std::string> send(const std::vector<std::string>& lines, const Arrivals& arrivals);

    // Runs the whole program on these lines from its first one (either protocol) until the
    // input ends or "quit"; returns its output lines.
    std::vector<std::string> converse(const std::vector<std::string>& lines,
                                      const Arrivals& arrivals = {});

    // True once "quit" (or the end of input) ended the loop.
    bool finished() const { return finished_; }

    // Raw output since the last call to send() or handshake().
    std::string takeRawOutput();

    // resetGame + setupFromFen, as "setboard" would; returns setupFromFen's answer.
    bool setPosition(const std::string& fen);

  private:
    void queue(const std::vector<std::string>& lines, const Arrivals& arrivals);
    std::vector<std::string> splitOutput();

    QueueLineSource input_;
    std::ostringstream output_;
    ManualClock clock_;
    SplitMixRandom random_;
    Platform platform_;
    std::unique_ptr<EngineState> engine_;
    bool finished_ = false;
};

// Checks the game-state invariants: every piece's square holds its index, kinds and colours
// agree, kingPos matches the king, materialCount equals a count of the board, slot counts
// match kinds, the side to move cannot capture a king. Returns "" or a description.
std::string invariantViolations(EngineState& e);

// A snapshot of the position tables, for round-trip comparisons.
struct PositionSnapshot {
    explicit PositionSnapshot(const EngineState& e);
    bool operator==(const PositionSnapshot& other) const = default;
    decltype(GameTables::board) board;
    decltype(GameTables::piecePos) piecePos;
    decltype(GameTables::pieceKind) pieceKind;
    decltype(GameTables::pieceSlots) pieceSlots;
    decltype(GameTables::kingPos) kingPos;
    decltype(GameTables::epInfo) epInfo;
    decltype(GameTables::materialCount) materialCount;
};

// Makes the legal move with these squares (and absolute promotion kind, 0 for none) at search
// ply p for the side to move, through the candidate list and the move maker, and records the
// kind after the move in plyRecord[p][16] as the search does. Returns false when there is no
// such legal move (nothing is left made then).
bool makeBySquares(EngineState& e, int p, int ff, int fr, int tf, int tr, int promotion);

// Piece placement of the board as FEN-style text (first field only), for messages.
std::string boardText(const EngineState& e);

}  // namespace qm::test

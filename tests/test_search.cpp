// The search against an independent oracle: a recursive minimax over the same tree (same move
// generator, move maker, take-back and draw rules, none of the search's own bookkeeping or
// cut-offs), under several random renumberings, plus the search's own guarantees: position
// restored, mate scores and lines, clock stop, node counting of the first root move, en passant
// at the first ply.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "board/candidates.h"
#include "board/king_safety.h"
#include "board/legal_moves.h"
#include "board/make_move.h"
#include "board/state_init.h"
#include "search/draw_rules.h"
#include "search/driver.h"
#include "search/search.h"
#include "search/take_back.h"
#include "support/harness.h"

namespace qm::test {
namespace {

constexpr int kMate = 100000;

// ---------------------------------------------------------------------------------------------
// Positions
// ---------------------------------------------------------------------------------------------

// A position reached the way a GUI would reach it: "new" or "setboard", then moves in force
// mode, so that the game record and the position keys of the played plies exist.
struct GameSetup {
    std::string fen;  // empty: "new"
    std::vector<std::string> moves;
};

// The same position with colours exchanged and the board turned upside down.
std::string mirrorFen(const std::string& fen) {
    std::istringstream in(fen);
    std::string placement, side, castling, ep, half, full;
    in >> placement >> side >> castling >> ep >> half >> full;
    std::vector<std::string> ranks;
    std::string rank;
    for (char c : placement) {
        if (c == '/') {
            ranks.push_back(rank);
            rank.clear();
        } else {
            rank += c;
        }
    }
    ranks.push_back(rank);
    std::string out;
    for (auto it = ranks.rbegin(); it != ranks.rend(); ++it) {
        for (char c : *it) {
            if (std::isupper(static_cast<unsigned char>(c)))
                out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            else if (std::islower(static_cast<unsigned char>(c)))
                out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            else
                out += c;
        }
        if (it + 1 != ranks.rend()) out += '/';
    }
    std::string rights;
    if (castling != "-") {
        for (char c : std::string("kqKQ"))
            if (castling.find(c) != std::string::npos)
                rights += static_cast<char>(std::isupper(static_cast<unsigned char>(c))
                                                ? std::tolower(static_cast<unsigned char>(c))
                                                : std::toupper(static_cast<unsigned char>(c)));
    }
    if (rights.empty()) rights = "-";
    std::string epOut = ep;
    if (ep != "-" && ep.size() == 2) epOut[1] = static_cast<char>('9' - (ep[1] - '0'));
    return out + " " + (side == "w" ? "b" : "w") + " " + rights + " " + epOut + " " + half + " " +
           full;
}

std::string mirrorMove(const std::string& move) {
    std::string out = move;
    out[1] = static_cast<char>('9' - (move[1] - '0'));
    out[3] = static_cast<char>('9' - (move[3] - '0'));
    return out;
}

GameSetup mirrored(const GameSetup& s) {
    GameSetup m;
    m.fen = mirrorFen(s.fen);
    for (const auto& move : s.moves) m.moves.push_back(mirrorMove(move));
    return m;
}

// Plays the set-up through the protocol and gives the engine the side to move.
void reach(Harness& h, const GameSetup& s) {
    h.initialise();
    std::vector<std::string> lines;
    if (s.fen.empty()) {
        lines = {"new", "force"};
    } else {
        lines = {"force", "setboard " + s.fen};
    }
    for (const auto& m : s.moves) lines.push_back("usermove " + m);
    auto out = h.send(lines);
    ASSERT_TRUE(out.empty()) << "set-up rejected: " << (out.empty() ? "" : out.front());
    auto& e = h.engine();
    e.engineSide = e.sideToMove;
}

// ---------------------------------------------------------------------------------------------
// Running one iteration as the driver does
// ---------------------------------------------------------------------------------------------

// One iteration at `depth` with an unlimited budget.
void runIteration(EngineState& e, int depth) {
    e.iterationDepth = depth;
    clearIterationTables(e);
    e.searchStatus = 1;
    e.sideToMove = e.engineSide;
    e.moveBudgetCs = 1e12;
    e.clockStampTime = e.io.clock.seconds();
    searchIteration(e);
}

std::string squareText(int f, int r) {
    std::string t;
    t += static_cast<char>('a' + f - 1);
    t += static_cast<char>('0' + r);
    return t;
}

std::string pvText(const EngineState& e) {
    std::string t;
    const int n = std::min(e.pvLines[1][1][9], kMaxDepth);
    for (int i = 1; i <= n; ++i) {
        const auto& m = e.pvLines[1][i];
        if (m[1] == 0) {
            t += "- ";
            continue;
        }
        t += squareText(m[1], m[2]) + squareText(m[3], m[4]);
        if (m[5] != 0) t += "?nbrq"[m[5] - 1];
        t += ' ';
    }
    return t;
}

// ---------------------------------------------------------------------------------------------
// The oracle: recursive minimax without the search's cut-offs
// ---------------------------------------------------------------------------------------------
//
// Up to the nominal depth every legal move is tried, with no cut-off of any kind; a side without
// a legal move there is mated (score +-(100000 - ply of the mating move)) or stalemated (0). The
// move of the nominal depth and every later move is followed by the capture extension: the side
// to move may keep the material score or play one of the moves the generator still lists beyond
// the nominal depth; without any such legal move the material score stands, mate is not looked
// for. After every move the three draw rules are applied exactly as the search applies them; a
// draw scores 0 and ends the line. A move made at ply 40 ends the line with the material score.
//
// Walking every order of every capture sequence is out of reach in positions with many contacts,
// so by default each capture-extension subtree is solved by a textbook fail-soft alpha-beta
// entered with an unbounded window, which returns the subtree's exact minimax value; with
// `plainExtension` the extension is walked in full as well (used on small trees to check the
// first mode against it).
class Minimax {
  public:
    explicit Minimax(EngineState& e, bool plainExtension = false)
        : e_(e), plainExtension_(plainExtension) {}

    // Root value (White's point of view) of the engine's side to move at nominal depth `depth`;
    // false when the root has no legal move.
    bool rootValue(int depth, int& value) {
        depth_ = depth;
        nodes_ = 0;
        e_.iterationDepth = depth;
        e_.sideToMove = e_.engineSide;
        e_.repetitionFlags.clear();
        e_.fiftyMoveFlag = 0;
        e_.materialDrawFlag = 0;
        e_.plyRecord[0][kRecHalfMoveClock] = e_.gameMoves[e_.gamePly - 1][8];
        bool any = false;
        value = fullWidth(1, any);
        return any;
    }

    long nodes() const { return nodes_; }

  private:
    static constexpr int kUnbounded = 1 << 30;

    // Material straight from the board.
    int material() const {
        static const int kValue[11] = {0, 100, 300, 300, 500, 900, 0, 0, 0, 0, 100};
        int score = 0;
        for (int f = 1; f <= 8; ++f)
            for (int r = 1; r <= 8; ++r) {
                const int i = e_.board[f][r];
                if (i == 0) continue;
                const int k = e_.pieceKind[i];
                score += k > 0 ? kValue[k] : -kValue[-k];
            }
        return score;
    }

    bool inCheck(int side) {
        const int saved = e_.sideToMove;
        e_.sideToMove = side;
        const int king = e_.pieceIndexOf[13] * side;
        const int f = e_.piecePos[king][1], r = e_.piecePos[king][2];
        int result = 0;
        testKingSafety(e_, result, king, f, r, f, r);
        e_.sideToMove = saved;
        return result == kKingAttacked;
    }

    std::vector<std::pair<int, int>> candidates(int p) {
        generateCandidates(e_, p);
        std::vector<std::pair<int, int>> list;
        for (int n = 1; n <= e_.moveCount[p]; ++n)
            list.emplace_back(e_.moveList[p][n][kCandPiece], e_.moveList[p][n][kCandSlot]);
        return list;
    }

    // The bookkeeping after a legal move at ply p; true when a draw rule ends the line.
    bool drawAfterMove(int p, int piece) {
        ++nodes_;
        e_.plyRecord[p][kRecKindAfterSearch] = e_.pieceKind[e_.sideToMove * piece];
        fiftyMoveCheck(e_, p);
        repetitionCheck(e_, p);
        materialDrawCheck(e_);
        return e_.fiftyMoveFlag == 1 || e_.repetitionFlags[0] != 0 || e_.materialDrawFlag == 1;
    }

    // Value of the position after the move of ply p (made by sideToMove, not a draw). The
    // window only matters inside the capture extension.
    int valueAfter(int p, int alpha, int beta) {
        if (p >= kMaxDepth) return material();
        const int mover = e_.sideToMove;
        int v;
        e_.sideToMove = -mover;
        if (p < depth_) {
            bool any = false;
            v = fullWidth(p + 1, any);
            if (!any) v = inCheck(-mover) ? mover * (kMate - p) : 0;
        } else {
            v = extension(p + 1, material(), alpha, beta);
        }
        e_.sideToMove = mover;
        return v;
    }

    int fullWidth(int p, bool& any) {
        const int side = e_.sideToMove;
        int best = 0;
        any = false;
        for (auto [piece, slot] : candidates(p)) {
            int made = 0;
            makeListedMove(e_, made, p, piece, slot);
            if (made == 0) continue;
            const int v = drawAfterMove(p, piece) ? 0 : valueAfter(p, -kUnbounded, kUnbounded);
            takeBackMove(e_, p);
            if (!any || (side > 0 ? v > best : v < best)) best = v;
            any = true;
        }
        return best;
    }

    int extension(int p, int standPat, int alpha, int beta) {
        const int side = e_.sideToMove;
        int best = standPat;
        if (!plainExtension_) {
            if (side > 0 ? best >= beta : best <= alpha) return best;
            if (side > 0)
                alpha = std::max(alpha, best);
            else
                beta = std::min(beta, best);
        }
        for (auto [piece, slot] : candidates(p)) {
            int made = 0;
            makeListedMove(e_, made, p, piece, slot);
            if (made == 0) continue;
            const int v = drawAfterMove(p, piece) ? 0 : valueAfter(p, alpha, beta);
            takeBackMove(e_, p);
            if (side > 0 ? v > best : v < best) best = v;
            if (plainExtension_) continue;
            if (side > 0 ? best >= beta : best <= alpha) break;
            if (side > 0)
                alpha = std::max(alpha, best);
            else
                beta = std::min(beta, best);
        }
        return best;
    }

    EngineState& e_;
    bool plainExtension_;
    int depth_ = 1;
    long nodes_ = 0;
};

// What a search must leave untouched besides the position itself.
struct GameRecordSnapshot {
    explicit GameRecordSnapshot(const EngineState& e) {
        for (int c = 1; c <= 13; ++c) row0.push_back(e.plyRecord[0][c]);
        for (int i = 0; i < e.gamePly; ++i) {
            for (int c = 1; c <= 3; ++c) keys.push_back(e.positionKey[i][c]);
            for (int c = 1; c <= 8; ++c) moves.push_back(e.gameMoves[i][c]);
        }
        gamePly = e.gamePly;
        engineSide = e.engineSide;
    }
    bool operator==(const GameRecordSnapshot&) const = default;
    std::vector<int> row0;
    std::vector<double> keys;
    std::vector<int> moves;
    int gamePly;
    int engineSide;
};

// The principal variation is a legal line: moves up to the first empty entry, nothing after it.
::testing::AssertionResult pvIsLegalLine(EngineState& e) {
    const int n = e.pvLines[1][1][9];
    int made = 0;
    bool ended = false;
    std::string problem;
    for (int i = 1; i <= n && i <= kMaxDepth; ++i) {
        const auto& m = e.pvLines[1][i];
        if (m[1] == 0) {
            ended = true;
            continue;
        }
        if (ended) {
            problem = "move after an empty entry at " + std::to_string(i);
            break;
        }
        if (makeBySquares(e, i, m[1], m[2], m[3], m[4], m[5]) == 0) {
            problem = "entry " + std::to_string(i) + " is not a legal move";
            break;
        }
        made = i;
        e.sideToMove = -e.sideToMove;
    }
    for (int i = made; i >= 1; --i) {
        e.sideToMove = -e.sideToMove;
        takeBackMove(e, i);
    }
    if (!problem.empty()) return ::testing::AssertionFailure() << problem << " in " << pvText(e);
    return ::testing::AssertionSuccess();
}

struct CrossCase {
    std::string name;
    GameSetup setup;
    int maxDepth;
    bool withMirror = true;  // also with colours exchanged (the engine plays the other colour)
    int plainDepth = 0;      // up to this depth the oracle also walks the extension in full
};

struct CrossTally {
    int positions = 0;
    int depthRuns = 0;      // (position, depth) pairs solved by the oracle
    int iterationRuns = 0;  // engine iterations compared with the oracle
    int renumberings = 0;   // (position, renumbering) pairs
    long oracleNodes = 0;
};

constexpr std::uint64_t kOracleSeed = 1001;
const std::uint64_t kRenumberSeeds[] = {7, 424242, 99991};

// A (piece, slot) pair of the side to move that names no legal move in the position.
std::pair<int, int> refusedPair(EngineState& e) {
    for (int piece = 16; piece >= 1; --piece) {
        const int slots = e.pieceSlots[piece * e.sideToMove];
        for (int slot = slots > 0 ? slots : 1; slot >= 1; --slot) {
            int made = 0;
            makeListedMove(e, made, 1, piece, slot);
            if (made == 0) return {piece, slot};
            takeBackMove(e, 1);
        }
    }
    return {0, 0};
}

// Oracle values for depths 1..maxDepth, then the engine's iterations under several random
// renumberings, each compared with the oracle and checked for a clean return.
void crossCheck(const CrossCase& c, CrossTally& tally) {
    SCOPED_TRACE(c.name);
    std::vector<int> expected(c.maxDepth + 1, 0);
    {
        Harness h(kOracleSeed);
        reach(h, c.setup);
        if (::testing::Test::HasFatalFailure()) return;
        auto& e = h.engine();
        renumberPieces(e);
        const PositionSnapshot before(e);
        const GameRecordSnapshot record(e);
        for (int d = 1; d <= c.maxDepth; ++d) {
            Minimax oracle(e);
            int v = 0;
            ASSERT_TRUE(oracle.rootValue(d, v)) << "no legal root move";
            expected[d] = v;
            tally.oracleNodes += oracle.nodes();
            ++tally.depthRuns;
            if (d <= c.plainDepth) {
                Minimax plain(e, true);
                int w = 0;
                ASSERT_TRUE(plain.rootValue(d, w));
                ASSERT_EQ(w, v) << "the two ways of solving the extension disagree at depth " << d;
                tally.oracleNodes += plain.nodes();
            }
            ASSERT_TRUE(PositionSnapshot(e) == before) << "oracle changed the position";
            ASSERT_TRUE(GameRecordSnapshot(e) == record);
        }
    }
    ++tally.positions;

    for (std::uint64_t seed : kRenumberSeeds) {
        SCOPED_TRACE("renumbering seed " + std::to_string(seed));
        Harness h(seed);
        reach(h, c.setup);
        if (::testing::Test::HasFatalFailure()) return;
        auto& e = h.engine();
        renumberPieces(e);
        ++tally.renumberings;
        ASSERT_EQ(invariantViolations(e), "");
        const PositionSnapshot before(e);
        const GameRecordSnapshot record(e);
        e.bestRootPiece = e.bestRootSlot = e.firstRootPiece = e.firstRootSlot = 1;
        for (int d = 1; d <= c.maxDepth; ++d) {
            SCOPED_TRACE("depth " + std::to_string(d));
            runIteration(e, d);
            ++tally.iterationRuns;
            EXPECT_EQ(e.searchStatus, 1);
            EXPECT_EQ(e.plyScore[1][1], 1);
            EXPECT_EQ(e.plyScore[1][2], expected[d]) << "line " << pvText(e);
            EXPECT_EQ(e.sideToMove, -e.engineSide);
            EXPECT_TRUE(PositionSnapshot(e) == before) << boardText(e);
            EXPECT_TRUE(GameRecordSnapshot(e) == record);
            EXPECT_EQ(e.repetitionFlags[0], 0);
            EXPECT_EQ(e.fiftyMoveFlag, 0);
            EXPECT_EQ(e.materialDrawFlag, 0);
            // The line: at least the nominal depth long, carrying the root score, legal.
            EXPECT_GE(e.pvLines[1][1][9], d);
            EXPECT_EQ(e.pvLines[1][1][6], e.plyScore[1][2]);
            e.sideToMove = e.engineSide;
            EXPECT_TRUE(pvIsLegalLine(e));
            EXPECT_TRUE(PositionSnapshot(e) == before);
            e.firstRootPiece = e.bestRootPiece;
            e.firstRootSlot = e.bestRootSlot;
        }
        if (c.maxDepth >= 3) {
            // Whatever move is searched first, the value is the same: a legal move chosen by
            // the seed, and a pair that names no legal move.
            const int d = c.maxDepth;
            e.sideToMove = e.engineSide;
            LegalMoveList legal;
            listLegalMoves(e, legal);
            ASSERT_GT(legal.count, 0);
            const int pick = 1 + static_cast<int>(seed % static_cast<std::uint64_t>(legal.count));
            e.firstRootPiece = legal.piece[pick];
            e.firstRootSlot = legal.slot[pick];
            runIteration(e, d);
            ++tally.iterationRuns;
            EXPECT_EQ(e.plyScore[1][2], expected[d]) << "legal move " << pick << " first";
            EXPECT_TRUE(PositionSnapshot(e) == before);
            e.sideToMove = e.engineSide;
            const auto refused = refusedPair(e);
            ASSERT_NE(refused.first, 0);
            e.firstRootPiece = refused.first;
            e.firstRootSlot = refused.second;
            runIteration(e, d);
            ++tally.iterationRuns;
            EXPECT_EQ(e.plyScore[1][2], expected[d]) << "refused pair first";
            EXPECT_TRUE(PositionSnapshot(e) == before);
        }
    }
}

CrossCase caseOf(std::string name, std::string fen, std::vector<std::string> moves, int depth,
                 int plainDepth = 0) {
    return CrossCase{std::move(name), GameSetup{std::move(fen), std::move(moves)}, depth, true,
                     plainDepth};
}

CrossCase oneColour(CrossCase c) {
    c.withMirror = false;
    return c;
}

void runCases(const std::vector<CrossCase>& cases) {
    CrossTally tally;
    const auto start = std::chrono::steady_clock::now();
    for (const auto& c : cases) {
        crossCheck(c, tally);
        if (c.withMirror) {
            CrossCase m = c;
            m.name += " (colours exchanged)";
            m.setup = mirrored(c.setup);
            crossCheck(m, tally);
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf(
        "[ cross-check ] %d positions, %d oracle runs (position x depth), %d renumberings, "
        "%d engine iterations compared, %ld oracle nodes, %.1f s\n",
        tally.positions, tally.depthRuns, tally.renumberings, tally.iterationRuns,
        tally.oracleNodes, seconds);
}

// ---------------------------------------------------------------------------------------------
// Cross-checks
// ---------------------------------------------------------------------------------------------

TEST(SearchMatchesMinimax, Openings) {
    runCases({
        oneColour(caseOf("start position", "", {}, 4)),
        oneColour(caseOf("after 1.e4", "", {"e2e4"}, 4)),
        oneColour(caseOf("scandinavian", "", {"e2e4", "d7d5"}, 3)),
        oneColour(caseOf("queen's gambit", "", {"d2d4", "d7d5", "c2c4"}, 3)),
        oneColour(caseOf("spanish", "", {"e2e4", "e7e5", "g1f3", "b8c6", "f1b5"}, 3)),
        oneColour(caseOf("fool's mate", "", {"f2f3", "e7e5", "g2g4"}, 3)),
    });
}

TEST(SearchMatchesMinimax, MiddlegamesAndEndings) {
    runCases({
        caseOf("hanging queen", "r3k2r/ppp2ppp/2n5/3qp3/3P4/2N5/PPP2PPP/R2QK2R w KQkq - 0 10", {},
               3),
        caseOf("knight fork", "r3k3/pp6/8/3N4/8/8/PP6/4K3 w q - 0 1", {}, 4, 2),
        caseOf("pinned piece", "4k3/4r3/8/8/4N3/8/3PK3/8 b - - 0 1", {}, 4, 2),
        caseOf("italian", "r1bq1rk1/ppp2ppp/2np1n2/2b1p3/2B1P3/2NP1N2/PPP2PPP/R1BQ1RK1 w - - 4 7",
               {}, 2),
        caseOf("crowded centre",
               "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", {}, 1),
        oneColour(caseOf("castling both sides",
                         "r3k2r/pppq1ppp/2n1bn2/3pp3/3PP3/2N1BN2/PPPQ1PPP/R3K2R w KQkq - 0 1", {},
                         2)),
        caseOf("rook ending", "8/5pk1/6p1/8/3R4/6P1/5PK1/3r4 w - - 0 40", {}, 4, 2),
        caseOf("pawn race", "8/P6k/8/8/8/8/6Kp/8 w - - 0 1", {}, 4, 3),
        caseOf("promotion takes a corner rook", "8/8/8/8/8/8/1p4k1/R3K3 b Q - 0 1", {}, 4, 3),
        caseOf("underpromotions", "3k4/1P6/8/8/8/8/6p1/4K3 b - - 0 1", {}, 4, 3),
        caseOf("en passant in the set-up", "8/8/8/2k5/2pP4/8/B7/4K3 b - d3 0 3", {}, 4, 3),
    });
}

TEST(SearchMatchesMinimax, MatesAndStalemates) {
    runCases({
        caseOf("back-rank mate in one", "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1", {}, 4, 3),
        caseOf("mate in one with castling rights",
               "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4", {}, 3),
        caseOf("rook ladder mate in two", "7k/8/8/8/8/8/R7/1R4K1 w - - 0 1", {}, 4, 3),
        caseOf("queen mate in one", "k7/8/2K5/8/8/8/8/1Q6 w - - 0 1", {}, 4, 3),
        caseOf("two knights mate in one", "8/8/8/N7/8/K1N5/8/k7 w - - 0 1", {}, 4, 4),
        caseOf("only move mates", "8/8/6n1/8/8/3Q4/5R2/Kqk5 w - - 0 1", {}, 4, 4),
        caseOf("stalemate trap", "k7/8/1Q6/8/8/8/8/7K w - - 0 1", {}, 4, 3),
        caseOf("only move stalemates", "K7/q7/8/8/2P3Q1/6Q1/8/5k2 w - - 0 1", {}, 4, 4),
        caseOf("king and pawn", "7k/8/6K1/6P1/8/8/8/8 w - - 0 1", {}, 4, 4),
    });
}

TEST(SearchMatchesMinimax, DrawRules) {
    const std::string knightShuffle = "4k2n/8/8/8/8/8/Q7/4K3 w - - 0 40";
    runCases({
        caseOf("repetition on the first ply", knightShuffle,
               {"e1d1", "h8g6", "d1e1", "g6h8", "e1d1", "h8g6", "d1e1"}, 4, 3),
        caseOf("repetition on the third ply", knightShuffle,
               {"e1d1", "h8g6", "d1e1", "g6h8", "e1d1"}, 4, 3),
        caseOf("fifty moves, clock 99", "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 99 60", {}, 4, 3),
        caseOf("fifty moves, clock 98", "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 98 60", {}, 4, 3),
        caseOf("fifty moves, clock 97", "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 97 60", {}, 4, 3),
        caseOf("fifty moves, a capture resets", "6k1/5ppp/8/8/8/8/r4PPP/R5K1 w - - 99 60", {}, 4,
               2),
        caseOf("capture leaves king and knight", "8/8/4k3/8/3p4/3NK3/8/8 w - - 0 1", {}, 4, 3),
        caseOf("capture leaves king and bishop", "8/8/4k3/8/3p4/2B1K3/8/8 w - - 0 1", {}, 4, 3),
        caseOf("bishops on one colour", "8/8/4k3/3b4/8/3BK3/8/8 w - - 0 1", {}, 3, 3),
        caseOf("bishops on both colours", "8/8/4k3/3b4/5P2/2B1K3/8/8 w - - 0 1", {}, 4, 2),
        caseOf("two knights, lone king to move", "8/8/8/8/8/2K5/1N6/k1N5 b - - 0 1", {}, 4, 4),
        caseOf("knight against knight", "8/8/3nk3/8/8/3NK3/8/8 w - - 0 1", {}, 4, 3),
    });
}

TEST(SearchMatchesMinimax, EnPassantInGamesFromTheStart) {
    runCases({
        oneColour(caseOf(
            "white takes en passant", "",
            {"e2e4", "c7c6", "e4e5", "d8b6", "d2d4", "e7e6", "a2a3", "g8e7", "a3a4", "d7d5"}, 3)),
        oneColour(
            caseOf("black takes en passant", "", {"a2a3", "e7e5", "a3a4", "e5e4", "d2d4"}, 3)),
    });
}

// ---------------------------------------------------------------------------------------------
// The search's own guarantees
// ---------------------------------------------------------------------------------------------

GameSetup fenSetup(const std::string& fen) {
    return GameSetup{fen, {}};
}

// Squares of a principal-variation entry as text ("" when empty).
std::string entryText(const EngineState& e, int i) {
    const auto& m = e.pvLines[1][i];
    if (m[1] == 0) return "";
    return squareText(m[1], m[2]) + squareText(m[3], m[4]);
}

TEST(Search, MateInOneScoresAndLine) {
    const GameSetup white = fenSetup("6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1");
    for (const GameSetup& s : {white, mirrored(white)}) {
        for (std::uint64_t seed : {3u, 17u, 2024u}) {
            Harness h(seed);
            reach(h, s);
            auto& e = h.engine();
            renumberPieces(e);
            const int side = e.engineSide;
            SCOPED_TRACE(side > 0 ? "engine White" : "engine Black");
            // Depth 1 sees the rook, not the mate.
            runIteration(e, 1);
            EXPECT_EQ(e.plyScore[1][2], 500 * side);
            for (int d = 2; d <= 4; ++d) {
                SCOPED_TRACE("depth " + std::to_string(d));
                runIteration(e, d);
                EXPECT_EQ(e.plyScore[1][2], 99999 * side);
                EXPECT_EQ(entryText(e, 1), side > 0 ? "a1a8" : "a8a1");
                EXPECT_EQ(e.pvLines[1][1][8], 4 * side);  // the rook, as it stands after the move
                EXPECT_EQ(e.pvLines[1][1][9], d);
                EXPECT_EQ(e.pvLines[1][1][6], 99999 * side);
                for (int i = 2; i <= d; ++i) {
                    EXPECT_EQ(e.pvLines[1][i][1], 0) << "entry " << i;
                    EXPECT_EQ(e.pvLines[1][i][3], 0) << "entry " << i;
                }
                e.firstRootPiece = e.bestRootPiece;
                e.firstRootSlot = e.bestRootSlot;
            }
        }
    }
}

TEST(Search, MateInTwoFoundFromDepthFour) {
    // The mating move is the third ply; the mate shows once the fourth ply is searched in full.
    const GameSetup white = fenSetup("7k/8/8/8/8/8/R7/1R4K1 w - - 0 1");
    for (const GameSetup& s : {white, mirrored(white)}) {
        Harness h(31);
        reach(h, s);
        auto& e = h.engine();
        renumberPieces(e);
        const int side = e.engineSide;
        for (int d = 1; d <= 4; ++d) {
            runIteration(e, d);
            e.firstRootPiece = e.bestRootPiece;
            e.firstRootSlot = e.bestRootSlot;
            if (d < 4) {
                EXPECT_EQ(e.plyScore[1][2], 1000 * side) << "depth " << d;
            }
        }
        EXPECT_EQ(e.plyScore[1][2], 99997 * side) << pvText(e);
        EXPECT_EQ(e.pvLines[1][1][9], 4);
        EXPECT_NE(e.pvLines[1][3][1], 0) << pvText(e);
        EXPECT_EQ(e.pvLines[1][4][1], 0) << pvText(e);
    }
}

TEST(Search, StalematingOnlyMoveScoresZero) {
    const GameSetup white = fenSetup("K7/q7/8/8/2P3Q1/6Q1/8/5k2 w - - 0 1");
    for (const GameSetup& s : {white, mirrored(white)}) {
        Harness h(5);
        reach(h, s);
        auto& e = h.engine();
        renumberPieces(e);
        const int side = e.engineSide;
        runIteration(e, 1);
        EXPECT_EQ(e.plyScore[1][2], 1900 * side);  // two queens and a pawn, nothing to take back
        for (int d = 2; d <= 3; ++d) {
            runIteration(e, d);
            EXPECT_EQ(e.plyScore[1][1], 1);
            EXPECT_EQ(e.plyScore[1][2], 0);
            EXPECT_EQ(entryText(e, 1), side > 0 ? "a8a7" : "a1a2");
            EXPECT_EQ(e.pvLines[1][2][1], 0);
            EXPECT_EQ(e.pvLines[1][1][9], d);
        }
    }
}

TEST(Search, NoLegalRootMove) {
    for (const char* fen :
         {"6k1/5ppp/8/8/8/8/5PPP/r5K1 w - - 0 1", "k7/8/1Q6/8/8/8/8/7K b - - 0 1"}) {
        SCOPED_TRACE(fen);
        Harness h(9);
        reach(h, fenSetup(fen));
        auto& e = h.engine();
        renumberPieces(e);
        const PositionSnapshot before(e);
        for (int d = 1; d <= 3; ++d) {
            runIteration(e, d);
            EXPECT_EQ(e.plyScore[1][1], 0);
            EXPECT_EQ(e.pvLines[1][1][9], 0);
            EXPECT_EQ(e.pvLines[1][1][1], 0);
            EXPECT_EQ(e.nodeCount, 0.0);
            EXPECT_EQ(e.searchStatus, 1);
            EXPECT_EQ(e.sideToMove, -e.engineSide);
            EXPECT_TRUE(PositionSnapshot(e) == before);
        }
    }
}

TEST(Search, ClockStopAtTheFirstUnwindingRestoresThePosition) {
    const GameSetup middlegame =
        fenSetup("r3k2r/ppp2ppp/2n5/3qp3/3P4/2N5/PPP2PPP/R2QK2R w KQkq - 0 10");
    for (const GameSetup& s : {middlegame, mirrored(middlegame)}) {
        for (int depth : {2, 3}) {
            SCOPED_TRACE("depth " + std::to_string(depth));
            Harness h(77, 1.0);  // every clock reading is one second later than the last
            reach(h, s);
            auto& e = h.engine();
            renumberPieces(e);
            const PositionSnapshot before(e);
            const GameRecordSnapshot record(e);

            runIteration(e, depth);  // unlimited budget: the full iteration
            ASSERT_EQ(e.searchStatus, 1);
            const double fullNodes = e.nodeCount;

            e.iterationDepth = depth;
            clearIterationTables(e);
            e.searchStatus = 1;
            e.sideToMove = e.engineSide;
            e.clockStampTime = e.io.clock.seconds();
            e.moveBudgetCs = 50.0;  // the first reading inside the search is 100 cs later
            searchIteration(e);
            EXPECT_EQ(e.searchStatus, 0);
            EXPECT_EQ(e.sideToMove, -e.engineSide);
            EXPECT_TRUE(PositionSnapshot(e) == before) << boardText(e);
            EXPECT_TRUE(GameRecordSnapshot(e) == record);
            EXPECT_EQ(e.repetitionFlags[0], 0);
            EXPECT_GT(e.nodeCount, 0.0);
            EXPECT_LT(e.nodeCount, fullNodes);
            EXPECT_EQ(invariantViolations(e), "");
        }
    }
}

TEST(Search, PreviousBestMoveAddsNoNodes) {
    // The engine's only legal move mates (or stalemates): at depth 3 it is searched first and
    // not again at its place in the list; neither the visit nor the list entry is counted.
    struct Only {
        const char* fen;
        int score;  // for White
    };
    for (const Only& only : {Only{"8/8/6n1/8/8/3Q4/5R2/Kqk5 w - - 0 1", 99999},
                             Only{"K7/q7/8/8/2P3Q1/6Q1/8/5k2 w - - 0 1", 0}}) {
        const GameSetup white = fenSetup(only.fen);
        for (const GameSetup& s : {white, mirrored(white)}) {
            SCOPED_TRACE(s.fen);
            Harness h(123);
            reach(h, s);
            auto& e = h.engine();
            renumberPieces(e);
            const int side = e.engineSide;
            LegalMoveList legal;
            listLegalMoves(e, legal);
            ASSERT_EQ(legal.count, 1);

            runIteration(e, 2);
            EXPECT_EQ(e.nodeCount, 1.0);
            EXPECT_EQ(e.plyScore[1][2], only.score * side);

            e.firstRootPiece = legal.piece[1];
            e.firstRootSlot = legal.slot[1];
            runIteration(e, 3);
            EXPECT_EQ(e.nodeCount, 0.0);
            EXPECT_EQ(e.plyScore[1][2], only.score * side);

            e.sideToMove = e.engineSide;
            const auto refused = refusedPair(e);
            e.firstRootPiece = refused.first;
            e.firstRootSlot = refused.second;
            runIteration(e, 3);
            EXPECT_EQ(e.nodeCount, 1.0);
            EXPECT_EQ(e.plyScore[1][2], only.score * side);
        }
    }
}

TEST(Search, BestRootMoveRecordedFromDepthTwo) {
    Harness h(55);
    reach(h, fenSetup("r3k2r/ppp2ppp/2n5/3qp3/3P4/2N5/PPP2PPP/R2QK2R w KQkq - 0 10"));
    auto& e = h.engine();
    renumberPieces(e);
    const auto refused = refusedPair(e);
    e.bestRootPiece = refused.first;
    e.bestRootSlot = refused.second;
    runIteration(e, 1);
    EXPECT_EQ(e.bestRootPiece, refused.first);
    EXPECT_EQ(e.bestRootSlot, refused.second);
    EXPECT_EQ(entryText(e, 1), "c3d5");  // the queen
    for (int d = 2; d <= 3; ++d) {
        runIteration(e, d);
        // The recorded pair names the first move of the line.
        e.sideToMove = e.engineSide;
        int made = 0;
        makeListedMove(e, made, 1, e.bestRootPiece, e.bestRootSlot);
        ASSERT_EQ(made, 1);
        const auto& r = e.plyRecord[1];
        EXPECT_EQ(
            squareText(r[kRecFromFile], r[kRecFromRank]) + squareText(r[kRecToFile], r[kRecToRank]),
            entryText(e, 1));
        takeBackMove(e, 1);
        e.firstRootPiece = e.bestRootPiece;
        e.firstRootSlot = e.bestRootSlot;
    }
}

TEST(Search, EqualScoresKeepTheMoveSearchedFirst) {
    // At depth 1 every move of the start position scores 0: the first legal move of the list
    // heads the line, whatever the numbering put first.
    std::vector<std::string> heads;
    for (std::uint64_t seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        Harness h(seed);
        reach(h, GameSetup{});
        auto& e = h.engine();
        renumberPieces(e);
        e.iterationDepth = 1;
        generateCandidates(e, 1);
        const auto& first = e.moveList[1][1];
        const std::string expected = squareText(first[kCandFromFile], first[kCandFromRank]) +
                                     squareText(first[kCandToFile], first[kCandToRank]);
        runIteration(e, 1);
        EXPECT_EQ(e.plyScore[1][2], 0);
        EXPECT_EQ(entryText(e, 1), expected) << "seed " << seed;
        heads.push_back(expected);
    }
    std::sort(heads.begin(), heads.end());
    EXPECT_GT(std::unique(heads.begin(), heads.end()) - heads.begin(), 1)
        << "the renumbering never changed the first move";
}

TEST(Search, TiesGoToTheMoveListedFirstWhateverTheOrderOfExploring) {
    // Plies below the root explore their moves in an order of their own (the table's move, the
    // moves that ended plies, then by how often they did), yet an equal score must go to the
    // move listed first, as in list order. Here that order is made as unlike list order as it
    // can be: every quiet move's count is scrambled, and so are the moves tried first, before
    // every iteration; the lines must be those of list order all the same.
    const std::vector<GameSetup> setups = {
        GameSetup{},
        GameSetup{"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3", {}},
        GameSetup{"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", {}},
        GameSetup{"", {"d2d4", "d7d5", "c2c4", "e7e6", "b1c3", "g8f6"}}};
    int lines = 0;
    for (std::size_t k = 0; k < setups.size(); ++k) {
        for (std::uint64_t seed : {11u, 12u}) {
            std::vector<std::string> reference, scrambled;
            for (bool listOrder : {true, false}) {
                Harness h(seed);
                reach(h, setups[k]);
                auto& e = h.engine();
                renumberPieces(e);
                e.listOrderOnly = listOrder;
                std::uint64_t noise = seed;
                for (int d = 1; d <= 6; ++d) {
                    for (int side = 0; side <= 1; ++side)
                        for (int f = 0; f <= 63; ++f)
                            for (int t = 0; t <= 63; ++t)
                                e.cutHistory[side][f][t] = static_cast<int>(
                                    (noise = noise * 6364136223846793005ULL + 1) >> 50);
                    for (int p = 1; p <= kMaxDepth; ++p) {
                        e.lastPlyKiller[p][1] = static_cast<int>(noise >> 60) + 1;
                        e.lastPlyKiller[p][2] = static_cast<int>((noise >> 40) % 28) + 1;
                    }
                    runIteration(e, d);
                    (listOrder ? reference : scrambled)
                        .push_back(std::to_string(e.plyScore[1][2]) + " " + pvText(e));
                    e.firstRootPiece = e.bestRootPiece;
                    e.firstRootSlot = e.bestRootSlot;
                }
            }
            EXPECT_EQ(scrambled, reference) << "position " << k << ", seed " << seed;
            lines += static_cast<int>(reference.size());
        }
    }
    EXPECT_EQ(lines, 48);
}

TEST(Search, EnPassantAfterTheOpponentsDoubleStepInAGameFromNew) {
    const GameSetup game{
        "", {"e2e4", "c7c6", "e4e5", "d8b6", "d2d4", "e7e6", "a2a3", "g8e7", "a3a4", "d7d5"}};
    for (std::uint64_t seed : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        Harness h(seed);
        reach(h, game);
        auto& e = h.engine();
        renumberPieces(e);
        ASSERT_EQ(e.engineSide, 1);
        const int pawn = e.board[4][5];
        ASSERT_LT(pawn, 0);
        // Row 0 describes the double step under the pawn's current number.
        EXPECT_EQ(e.plyRecord[0][kRecMover], pawn);
        EXPECT_EQ(e.plyRecord[0][kRecDoubleStep], 1);
        EXPECT_EQ(e.plyRecord[0][kRecToFile], 4);
        EXPECT_EQ(e.plyRecord[0][kRecToRank], 5);
        EXPECT_EQ(e.pieceKind[pawn], -10);
        EXPECT_EQ(e.epInfo[1], 4);
        EXPECT_EQ(e.epInfo[3], pawn);
        const PositionSnapshot before(e);
        for (int d = 1; d <= 2; ++d) {
            runIteration(e, d);
            EXPECT_EQ(e.plyScore[1][2], 100) << pvText(e);
            EXPECT_TRUE(PositionSnapshot(e) == before);
            e.firstRootPiece = e.bestRootPiece;
            e.firstRootSlot = e.bestRootSlot;
        }
        runIteration(e, 1);
        EXPECT_EQ(entryText(e, 1), "e5d6");
        EXPECT_EQ(e.pvLines[1][1][8], 1);
    }
}

}  // namespace
}  // namespace qm::test

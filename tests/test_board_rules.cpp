// The board rules: renumbering, slot orders, the king-safety test, the candidate list, making
// listed moves, exact take-backs and move-tree counts.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board/candidates.h"
#include "board/king_safety.h"
#include "board/legal_moves.h"
#include "board/make_move.h"
#include "board/slots.h"
#include "board/state_init.h"
#include "search/take_back.h"
#include "search/thinking_output.h"
#include "support/harness.h"

namespace qm::test {
namespace {

const char* const kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* const kKiwipete =
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
const char* const kPosition3 = "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1";
const char* const kPosition4 = "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq - 0 1";
const char* const kPosition4Mirrored =
    "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ - 0 1";
const char* const kPosition5 = "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ - 1 8";
const char* const kPosition6 =
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10";
// Castling rooks that are not the first rooks the text lists.
const char* const kExtraWhiteRook =
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1pR1P3/2N2Q1p/1PPBBPPP/R3K2R w KQkq - 0 1";
const char* const kExtraBlackRook =
    "rr2k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q2/PPPBBPPP/R3K2R b KQkq - 0 1";
const char* const kRookOnE8 = "4R3/8/6k1/8/8/8/8/R3K2R w KQ - 0 1";

struct Pos {
    Harness h;
    explicit Pos(const std::string& fen, std::uint64_t seed = 12345) : h(seed) {
        h.initialise();
        EXPECT_TRUE(h.setPosition(fen)) << fen;
        h.engine().iterationDepth = kMaxDepth;
    }
    EngineState& e() { return h.engine(); }
};

int sq(const char* s, int& rank) {
    rank = s[1] - '0';
    return s[0] - 'a' + 1;
}

// Row of moveList[ply] (generated beforehand) for the move from -> to with the given absolute
// promotion kind; 0 when there is none. Castling candidates have no to-square: pass "--".
int findCandidate(EngineState& e, int ply, const char* from, const char* to, int promotion = 0) {
    int fr, tr = 0;
    int ff = sq(from, fr);
    int tf = to[0] == '-' ? 0 : sq(to, tr);
    for (int n = 1; n <= e.moveCount[ply]; ++n) {
        const auto& m = e.moveList[ply][n];
        if (m[kCandFromFile] == ff && m[kCandFromRank] == fr && m[kCandToFile] == tf &&
            m[kCandToRank] == tr && absOf(m[kCandPromotion]) == promotion)
            return n;
    }
    return 0;
}

// The castling candidate of the side to move towards the given side, 0 when none is listed.
int findCastling(EngineState& e, int ply, bool kingside) {
    for (int n = 1; n <= e.moveCount[ply]; ++n) {
        const auto& m = e.moveList[ply][n];
        if (m[kCandToFile] != 0) continue;
        const int index = m[kCandPiece] * e.sideToMove;
        DecodedSlot d = decodeSlot(e, index, m[kCandFromFile], m[kCandFromRank], m[kCandSlot]);
        if ((d.type == SlotMove::kCastleKingside) == kingside) return n;
    }
    return 0;
}

// Makes candidate n of moveList[ply]; returns makeListedMove's result.
int makeRow(EngineState& e, int ply, int n) {
    int result = -1;
    makeListedMove(e, result, ply, e.moveList[ply][n][kCandPiece], e.moveList[ply][n][kCandSlot]);
    return result;
}

bool rowClear(const EngineState& e, int ply) {
    for (int c = 1; c <= 14; ++c)
        if (e.plyRecord[ply][c] != 0) return false;
    return true;
}

// Runs the candidate generation slot by slot, as the list is built, and reports the bucket of
// each candidate; leaves moveList[ply] as generateCandidates would.
std::vector<std::pair<int, CandidateRow>> bucketedCandidates(EngineState& e, int ply) {
    e.moveCount[ply] = 0;
    const int s = e.sideToMove;
    for (int i = 1; i <= 16; ++i) {
        const int n = e.pieceSlots[s * i];
        for (int j = 1; j <= n; ++j) {
            int result;
            generateSlot(e, result, ply, i, j);
        }
    }
    std::vector<std::pair<int, CandidateRow>> out;
    for (int b = 1; b <= kBuckets; ++b)
        for (int k = 1; k <= e.bucketCount[b]; ++k) out.push_back({b, e.candidateBuckets[b][k]});
    flattenCandidates(e, ply);
    for (int b = 1; b <= kBuckets; ++b) e.bucketCount[b] = 0;
    return out;
}

int bucketOf(const std::vector<std::pair<int, CandidateRow>>& list, const char* from,
             const char* to, int promotion = 0) {
    int fr, tr;
    int ff = sq(from, fr), tf = sq(to, tr);
    for (const auto& [b, m] : list)
        if (m[kCandFromFile] == ff && m[kCandFromRank] == fr && m[kCandToFile] == tf &&
            m[kCandToRank] == tr && absOf(m[kCandPromotion]) == promotion)
            return b;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Renumbering and slot orders

TEST(Renumbering, HundredsOfRenumberingsKeepEveryTableConsistent) {
    for (const char* fen :
         {kStart, kKiwipete, kPosition3, kPosition4,
          "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1",
          "r3k2r/8/8/2pP4/8/8/8/R3K2R w KQkq c6 0 1", "nnnk4/rrr5/bbbb4/8/8/8/8/4K3 w - - 0 1"}) {
        SCOPED_TRACE(fen);
        Pos p(fen);
        EngineState& e = p.e();
        // Kind and slot count on every square, and the square of every set-up index.
        std::map<int, std::pair<int, int>> bySquare;
        std::map<int, int> squareOfSetupIndex;
        for (int f = 1; f <= 8; ++f)
            for (int r = 1; r <= 8; ++r) {
                int i = e.board[f][r];
                if (i == 0) continue;
                bySquare[f * 10 + r] = {e.pieceKind[i], e.pieceSlots[i]};
                squareOfSetupIndex[i] = f * 10 + r;
            }
        const int epSquare = e.epInfo[1] * 10 + e.epInfo[2];
        int changed = 0;
        for (int round = 0; round < 300; ++round) {
            renumberPieces(e);
            ASSERT_EQ(invariantViolations(e), "") << "round " << round;
            std::set<int> seen;
            for (int i = 1; i <= 16; ++i) {
                const int now = e.pieceIndexOf[i];
                ASSERT_GE(now, 1);
                ASSERT_LE(now, 16);
                ASSERT_EQ(e.pieceIndexOf[-i], -now) << "both colours follow one permutation";
                seen.insert(now);
                if (now != i) ++changed;
            }
            ASSERT_EQ(seen.size(), 16u);
            // Every piece is still where it stood, with its kind and slots, and is found
            // through its set-up index.
            for (const auto& [setup, square] : squareOfSetupIndex) {
                const int now = e.pieceIndexOf[setup];
                ASSERT_EQ(e.piecePos[now][1] * 10 + e.piecePos[now][2], square);
                ASSERT_EQ(e.board[square / 10][square % 10], now);
                ASSERT_EQ(e.pieceKind[now], bySquare[square].first);
                ASSERT_EQ(e.pieceSlots[now], bySquare[square].second);
            }
            for (int s : {1, -1}) {
                const int king = e.pieceIndexOf[13] * s;
                ASSERT_GE(absOf(e.pieceKind[king]), 6);
                ASSERT_LE(absOf(e.pieceKind[king]), 9);
                ASSERT_EQ(e.kingPos[s][1], e.piecePos[king][1]);
                ASSERT_EQ(e.kingPos[s][2], e.piecePos[king][2]);
            }
            if (epSquare != 0) {
                ASSERT_EQ(e.epInfo[1] * 10 + e.epInfo[2], epSquare);
                ASSERT_EQ(e.epInfo[3], e.board[e.epInfo[1]][e.epInfo[2]]);
                ASSERT_EQ(absOf(e.pieceKind[e.epInfo[3]]), 10);
                ASSERT_EQ(e.plyRecord[0][1], e.epInfo[3]);
            }
            // Unused indices stay empty.
            for (int i = -16; i <= 16; ++i)
                if (i != 0 && e.piecePos[i][1] == 0) {
                    ASSERT_EQ(e.pieceKind[i], 0) << i;
                    ASSERT_EQ(e.pieceSlots[i], 0) << i;
                }
        }
        EXPECT_GT(changed, 1000) << "the renumbering never moved anything";
    }
}

TEST(Renumbering, SlotOrdersArePermutationsWithPawnBlocks) {
    Pos p(kStart);
    EngineState& e = p.e();
    std::set<std::vector<int>> groupOrders;
    for (int round = 0; round < 600; ++round) {
        shuffleSlotOrders(e);
        auto isPermutation = [](auto& table, int n, int offset) {
            std::vector<int> v;
            for (int k = 1; k <= n; ++k) v.push_back(table[k + offset]);
            std::sort(v.begin(), v.end());
            for (int k = 0; k < n; ++k)
                if (v[k] != k + 1) return false;
            return true;
        };
        ASSERT_TRUE(isPermutation(e.kingSlotOrder, 10, 0));
        ASSERT_TRUE(isPermutation(e.knightJumpOrder, 8, 0));
        ASSERT_TRUE(isPermutation(e.bishopDirOrder, 4, 0));
        ASSERT_TRUE(isPermutation(e.rookDirOrder, 4, 0));
        ASSERT_TRUE(isPermutation(e.queenDirOrder, 8, 0));
        ASSERT_TRUE(isPermutation(e.pawnSlotOrder, 6, 0));
        std::vector<int> order;
        std::set<int> groups;
        for (int block = 0; block < 3; ++block) {
            std::vector<int> v;
            for (int k = 7 + 4 * block; k <= 10 + 4 * block; ++k) v.push_back(e.pawnSlotOrder[k]);
            std::sort(v.begin(), v.end());
            const int start = v[0];
            ASSERT_TRUE(start == 7 || start == 11 || start == 15) << start;
            for (int k = 0; k < 4; ++k) ASSERT_EQ(v[k], start + k);
            groups.insert(start);
            order.push_back(start);
        }
        ASSERT_EQ(groups.size(), 3u);
        groupOrders.insert(order);

        // Each of the three promotion moves comes once with each of the four kinds.
        e.sideToMove = round % 2 == 0 ? 1 : -1;
        std::set<std::pair<int, int>> typeAndKind;
        for (int slot = 7; slot <= 18; ++slot) {
            const int v = e.pawnSlotOrder[slot];
            const int type = v <= 10 ? 0 : v <= 14 ? 1 : 2;
            const int kind = promotionKindForSlot(e, slot);
            ASSERT_EQ(kind * e.sideToMove > 0, true);
            ASSERT_GE(absOf(kind), 2);
            ASSERT_LE(absOf(kind), 5);
            typeAndKind.insert({type, absOf(kind)});
        }
        ASSERT_EQ(typeAndKind.size(), 12u);
    }
    EXPECT_EQ(groupOrders.size(), 6u) << "all six orders of the promotion groups occur";
}

// ---------------------------------------------------------------------------------------------
// King-safety test

// testKingSafety for the piece on `from` moving to `to`, with the board checked unchanged.
int safety(EngineState& e, const char* from, const char* to) {
    int fr, tr;
    int ff = sq(from, fr), tf = sq(to, tr);
    const auto board = e.board;
    int result = 0;
    testKingSafety(e, result, e.board[ff][fr], ff, fr, tf, tr);
    EXPECT_TRUE(e.board == board) << "the board changed: " << from << to;
    return result;
}

TEST(KingSafety, PinsChecksAndKings) {
    struct Case {
        const char* fen;
        const char* from;
        const char* to;
        int result;
    };
    const std::vector<Case> cases = {
        // Pinned pieces: off the line refused, along it allowed.
        {"4k3/4r3/8/8/8/8/4B3/4K3 w - - 0 1", "e2", "d3", 2},
        {"4k3/4r3/8/8/8/8/4R3/4K3 w - - 0 1", "e2", "e5", 1},
        {"4k3/4r3/8/8/8/8/4R3/4K3 w - - 0 1", "e2", "e7", 1},
        {"4k3/4r3/8/8/8/8/4R3/4K3 w - - 0 1", "e2", "d2", 2},
        {"4k3/8/8/8/8/2q5/3N4/4K3 w - - 0 1", "d2", "f3", 2},
        {"4k3/8/8/8/8/2q5/3B4/4K3 w - - 0 1", "d2", "c3", 1},
        // En passant that empties the rank between king and rook.
        {"8/8/8/KPp4r/8/8/8/4k3 w - c6 0 1", "b5", "c6", 2},
        {"8/8/8/KPp5/8/8/8/4k3 w - c6 0 1", "b5", "c6", 1},
        {"8/8/8/8/k1pP3Q/8/8/4K3 b - d3 0 1", "c4", "d3", 2},
        // A pawn that has just advanced two squares gives check like any pawn.
        {"4k3/8/8/3p4/4K3/8/8/8 w - d6 0 1", "e4", "e4", 2},
        {"8/8/8/4k3/3P4/8/8/4K3 b - d3 0 1", "e5", "e5", 2},
        {"4k3/8/8/3p4/4K3/8/8/8 w - d6 0 1", "e4", "e3", 1},
        // Kings next to kings.
        {"8/8/4k3/8/4K3/8/8/8 w - - 0 1", "e4", "e5", 2},
        {"8/8/4k3/8/4K3/8/8/8 w - - 0 1", "e4", "f5", 2},
        {"8/8/4k3/8/4K3/8/8/8 w - - 0 1", "e4", "d4", 1},
        {"8/8/4k3/4n3/4K3/8/8/8 w - - 0 1", "e4", "e5", 2},
        {"8/8/8/4n3/4K3/8/8/7k w - - 0 1", "e4", "e5", 1},
        // Stepping back along the line of a checking rook or bishop.
        {"4r3/8/8/8/4K3/8/8/7k w - - 0 1", "e4", "e3", 2},
        {"4r3/8/8/8/4K3/8/8/7k w - - 0 1", "e4", "d3", 1},
        {"4r3/8/8/8/4K3/8/8/7k w - - 0 1", "e4", "e4", 2},
        {"8/1b6/8/8/4K3/8/8/7k w - - 0 1", "e4", "f3", 2},
        {"8/1b6/8/8/4K3/8/8/7k w - - 0 1", "e4", "e3", 1},
        // Knights, pawns and queens of the other side only.
        {"4k3/8/8/8/8/3n4/8/4K3 w - - 0 1", "e1", "e1", 2},
        {"4k3/8/8/8/8/3N4/8/4K3 w - - 0 1", "e1", "e1", 1},
        {"4k3/8/8/8/8/8/3p4/4K3 w - - 0 1", "e1", "e1", 2},
        {"4k3/8/8/8/8/8/3P4/4K3 w - - 0 1", "e1", "e1", 1},
        {"4k3/8/8/8/8/8/8/q3K3 w - - 0 1", "e1", "e1", 2},
        {"4k3/8/8/8/8/8/8/qN2K3 w - - 0 1", "e1", "e1", 1},
        // A capture that removes the checking piece.
        {"4k3/8/8/8/8/8/4r3/4K3 w - - 0 1", "e1", "e2", 1},
        {"4k3/8/8/8/8/8/3Br3/4K3 w - - 0 1", "d2", "e3", 2},
    };
    for (const Case& c : cases) {
        Pos p(c.fen);
        EXPECT_EQ(safety(p.e(), c.from, c.to), c.result) << c.fen << " " << c.from << c.to;
    }
}

// An attack test written from scratch, to compare with the engine's on many positions.
bool attackedBy(const EngineState& e, int file, int rank, int by) {
    auto kindAt = [&](int f, int r) {
        if (f < 1 || f > 8 || r < 1 || r > 8) return 0;
        int i = e.board[f][r];
        return i == 0 ? 0 : e.pieceKind[i];
    };
    auto is = [&](int f, int r, int absKind) {
        int k = kindAt(f, r);
        if (k == 0 || (k > 0) != (by > 0)) return false;
        k = absOf(k);
        if (absKind == 1) return k == 1 || k == 10;
        if (absKind == 6) return k >= 6 && k <= 9;
        return k == absKind;
    };
    if (is(file - 1, rank - by, 1) || is(file + 1, rank - by, 1)) return true;
    const int jf[8] = {1, 2, 2, 1, -1, -2, -2, -1}, jr[8] = {2, 1, -1, -2, -2, -1, 1, 2};
    for (int j = 0; j < 8; ++j)
        if (is(file + jf[j], rank + jr[j], 2)) return true;
    const int df[8] = {0, 1, 0, -1, 1, 1, -1, -1}, dr[8] = {1, 0, -1, 0, 1, -1, -1, 1};
    for (int d = 0; d < 8; ++d) {
        if (is(file + df[d], rank + dr[d], 6)) return true;
        int f = file + df[d], r = rank + dr[d];
        while (f >= 1 && f <= 8 && r >= 1 && r <= 8 && e.board[f][r] == 0) f += df[d], r += dr[d];
        if (is(f, r, 5) || is(f, r, d < 4 ? 4 : 3)) return true;
    }
    return false;
}

TEST(KingSafety, BoardIsRestoredAfterEveryCallAndChecksAgreeWithAPlainAttackTest) {
    std::mt19937 rng(4711);
    int calls = 0;
    for (const char* fen : {kStart, kKiwipete, kPosition3, kPosition4, kPosition5, kPosition6,
                            "8/8/8/KPp4r/8/8/8/4k3 w - c6 0 1",
                            "rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2"}) {
        Pos p(fen);
        EngineState& e = p.e();
        for (int step = 0; step < 40; ++step) {
            const int s = e.sideToMove;
            // Every piece of the side to move to every square, and every in-check test.
            const auto board = e.board;
            for (int i = 1; i <= 16; ++i) {
                const int index = i * s;
                const int f = e.piecePos[index][1], r = e.piecePos[index][2];
                if (f == 0) continue;
                for (int tf = 1; tf <= 8; ++tf)
                    for (int tr = 1; tr <= 8; ++tr) {
                        if (tf == f && tr == r && absOf(e.pieceKind[index]) <= 5) continue;
                        // A pawn never moves along its rank.
                        if (absOf(e.pieceKind[index]) == 1 && tr == r) continue;
                        int result = 0;
                        testKingSafety(e, result, index, f, r, tf, tr);
                        ++calls;
                        ASSERT_TRUE(result == 1 || result == 2);
                        ASSERT_TRUE(e.board == board)
                            << fen << " step " << step << ": piece " << index << " to " << tf << tr;
                    }
            }
            for (int side : {1, -1}) {
                const int king = e.pieceIndexOf[13] * side;
                const int kf = e.kingPos[side][1], kr = e.kingPos[side][2];
                const int saved = e.sideToMove;
                e.sideToMove = side;
                int result = 0;
                testKingSafety(e, result, king, kf, kr, kf, kr);
                e.sideToMove = saved;
                ASSERT_EQ(result == 2, attackedBy(e, kf, kr, -side))
                    << boardText(e) << " side " << side;
            }
            // On to a random legal move, as the game tables would have it.
            LegalMoveList list;
            listLegalMoves(e, list);
            if (list.count == 0) break;
            const auto& m = list.entry[1 + static_cast<int>(rng() % list.count)];
            std::string text = moveText(m[1], m[2], m[3], m[4], m[5]);
            e.iterationDepth = kMaxDepth;
            generateCandidates(e, 1);
            const int n =
                findCandidate(e, 1, text.substr(0, 2).c_str(), text.substr(2, 2).c_str(), m[5]);
            // Castling candidates carry no to-square.
            const int row = n != 0 ? n : findCastling(e, 1, m[3] == 7);
            ASSERT_NE(row, 0) << text;
            ASSERT_EQ(makeRow(e, 1, row), 1) << text;
            // Keep the move: clear its row so that the next one can use ply 1 again, and
            // describe a double step in row 0 as the game tables do.
            auto rec = e.plyRecord[1];
            for (int c = 1; c <= 16; ++c) e.plyRecord[1][c] = 0;
            for (int c = 1; c <= 16; ++c) e.plyRecord[0][c] = 0;
            if (rec[kRecDoubleStep] == 1) e.plyRecord[0] = rec;
            e.sideToMove = -s;
        }
    }
    EXPECT_GT(calls, 100000);
}

// ---------------------------------------------------------------------------------------------
// Candidate list

TEST(Candidates, StartPositionAndTheQuietCutOff) {
    Pos p(kStart);
    EngineState& e = p.e();
    e.iterationDepth = 1;
    auto list = bucketedCandidates(e, 1);
    ASSERT_EQ(list.size(), 20u);
    EXPECT_EQ(e.moveCount[1], 20);
    for (const auto& [b, m] : list) {
        EXPECT_EQ(b, 20);
        EXPECT_EQ(m[kCandTargetKind], 0);
        EXPECT_EQ(m[kCandPromotion], 0);
    }
    for (int b = 1; b <= kBuckets; ++b) EXPECT_EQ(e.bucketCount[b], 0);
    // Beyond the iteration depth: nothing (no captures here).
    generateCandidates(e, 2);
    EXPECT_EQ(e.moveCount[2], 0);
    e.iterationDepth = 0;
    generateCandidates(e, 1);
    EXPECT_EQ(e.moveCount[1], 0);
    // Black's list from the start position too.
    e.sideToMove = -1;
    e.iterationDepth = 3;
    generateCandidates(e, 3);
    EXPECT_EQ(e.moveCount[3], 20);
}

TEST(Candidates, BeyondTheDepthOnlyCapturesPromotionsAndCastling) {
    for (const char* fen : {kKiwipete, kPosition4, kPosition5, kPosition6, kExtraWhiteRook}) {
        Pos p(fen);
        EngineState& e = p.e();
        e.iterationDepth = 1;
        generateCandidates(e, 1);
        std::multiset<std::vector<int>> full, reduced;
        auto key = [](const CandidateRow& m) {
            std::vector<int> v;
            for (int c = 1; c <= 8; ++c) v.push_back(m[c]);
            return v;
        };
        for (int n = 1; n <= e.moveCount[1]; ++n) {
            const auto& m = e.moveList[1][n];
            if (m[kCandTargetKind] != 0 || m[kCandPromotion] != 0 || m[kCandToFile] == 0)
                full.insert(key(m));
        }
        generateCandidates(e, 2);
        for (int n = 1; n <= e.moveCount[2]; ++n) reduced.insert(key(e.moveList[2][n]));
        EXPECT_EQ(full, reduced) << fen;
        EXPECT_FALSE(reduced.empty()) << fen;
    }
}

TEST(Candidates, PawnOnItsSeventhRankHasOnlyPromotions) {
    for (const char* fen :
         {"2n1n3/3P4/8/8/8/8/8/k3K3 w - - 0 1", "K3k3/8/8/8/8/8/3p4/2N1N3 b - - 0 1"}) {
        for (int round = 0; round < 8; ++round) {
            Pos p(fen, 100 + round);
            EngineState& e = p.e();
            if (round > 0) renumberPieces(e);
            for (int depth : {kMaxDepth, 0}) {
                e.iterationDepth = depth;
                generateCandidates(e, 1);
                const int pawnFile = 4, pawnRank = e.sideToMove > 0 ? 7 : 2;
                std::set<std::pair<int, int>> seen;
                int count = 0;
                for (int n = 1; n <= e.moveCount[1]; ++n) {
                    const auto& m = e.moveList[1][n];
                    if (m[kCandFromFile] != pawnFile || m[kCandFromRank] != pawnRank) continue;
                    ++count;
                    EXPECT_NE(m[kCandPromotion], 0);
                    EXPECT_EQ(m[kCandPromotion] * e.sideToMove > 0, true);
                    seen.insert({m[kCandToFile], absOf(m[kCandPromotion])});
                }
                EXPECT_EQ(count, 12) << fen << " depth " << depth;
                EXPECT_EQ(seen.size(), 12u) << fen;
                LegalMoveList legal;
                listLegalMoves(e, legal);
                int promotions = 0;
                for (int n = 1; n <= legal.count; ++n) promotions += legal.entry[n][5] != 0;
                EXPECT_EQ(promotions, 12);
            }
        }
    }
    // A pawn on its second rank: steps and captures, no promotion.
    Pos p("4k3/8/8/8/8/2n1n3/3P4/4K3 w - - 0 1");
    generateCandidates(p.e(), 1);
    int pawnMoves = 0;
    for (int n = 1; n <= p.e().moveCount[1]; ++n) {
        const auto& m = p.e().moveList[1][n];
        if (m[kCandFromFile] == 4 && m[kCandFromRank] == 2) {
            ++pawnMoves;
            EXPECT_EQ(m[kCandPromotion], 0);
        }
    }
    EXPECT_EQ(pawnMoves, 4);
}

TEST(Candidates, RaysStopAtTheFirstPiece) {
    Pos p("4k3/8/8/p7/R7/P7/8/4K3 w - - 0 1");
    EngineState& e = p.e();
    generateCandidates(e, 1);
    EXPECT_NE(findCandidate(e, 1, "a4", "a5"), 0);
    EXPECT_EQ(findCandidate(e, 1, "a4", "a6"), 0);
    EXPECT_EQ(findCandidate(e, 1, "a4", "a3"), 0);
    EXPECT_EQ(findCandidate(e, 1, "a4", "a2"), 0);
    for (const char* to : {"b4", "c4", "d4", "e4", "f4", "g4", "h4"})
        EXPECT_NE(findCandidate(e, 1, "a4", to), 0) << to;
    int rookMoves = 0;
    for (int n = 1; n <= e.moveCount[1]; ++n)
        rookMoves += e.moveList[1][n][kCandFromFile] == 1 && e.moveList[1][n][kCandFromRank] == 4;
    EXPECT_EQ(rookMoves, 8);
    // Beyond the depth the capture alone is left.
    e.iterationDepth = 0;
    generateCandidates(e, 1);
    EXPECT_NE(findCandidate(e, 1, "a4", "a5"), 0);
    EXPECT_EQ(findCandidate(e, 1, "a4", "b4"), 0);
}

TEST(Candidates, OrderingByCaptureKey) {
    {
        // A pawn taking the queen comes before the queen taking it.
        Pos p("4k3/8/8/3q4/4P3/8/8/3QK3 w - - 0 1");
        EngineState& e = p.e();
        auto list = bucketedCandidates(e, 1);
        EXPECT_EQ(bucketOf(list, "e4", "d5"), 5);
        EXPECT_EQ(bucketOf(list, "d1", "d5"), 10);
        const int pawn = findCandidate(e, 1, "e4", "d5"), queen = findCandidate(e, 1, "d1", "d5");
        ASSERT_NE(pawn, 0);
        ASSERT_NE(queen, 0);
        EXPECT_LT(pawn, queen);
        EXPECT_EQ(pawn, 1);
    }
    {
        // A capturing promotion that takes a queen and makes one comes first of all.
        Pos p("3q3k/4P3/8/8/8/8/8/4K3 w - - 0 1");
        EngineState& e = p.e();
        auto list = bucketedCandidates(e, 1);
        EXPECT_EQ(bucketOf(list, "e7", "d8", 5), 1);
        EXPECT_EQ(bucketOf(list, "e7", "d8", 4), 2);
        EXPECT_EQ(bucketOf(list, "e7", "d8", 3), 3);
        EXPECT_EQ(bucketOf(list, "e7", "d8", 2), 3);
        EXPECT_EQ(bucketOf(list, "e7", "e8", 5), 11);
        EXPECT_EQ(bucketOf(list, "e7", "e8", 4), 14);
        EXPECT_EQ(bucketOf(list, "e7", "e8", 2), 16);
        EXPECT_EQ(findCandidate(e, 1, "e7", "d8", 5), 1);
        // Buckets appear in order in the flat list.
        int last = 0;
        for (int n = 1; n <= e.moveCount[1]; ++n) {
            const auto& m = e.moveList[1][n];
            int b = 0;
            for (const auto& [bb, mm] : list)
                if (mm == m) b = bb;
            ASSERT_GE(b, last);
            last = b;
        }
    }
    {
        // Black's push promotion to a queen lands where White's does.
        Pos white("8/6P1/8/8/8/k7/8/K7 w - - 0 1");
        Pos black("K7/8/k7/8/8/8/6p1/8 b - - 0 1");
        auto wl = bucketedCandidates(white.e(), 1);
        auto bl = bucketedCandidates(black.e(), 1);
        EXPECT_EQ(bucketOf(wl, "g7", "g8", 5), 11);
        EXPECT_EQ(bucketOf(bl, "g2", "g1", 5), 11);
        EXPECT_EQ(bucketOf(bl, "g2", "g1", 3), 16);
    }
    {
        // En passant: the pawn taken is recorded as kind 10, with a pawn-takes-pawn key.
        Pos p("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1");
        auto list = bucketedCandidates(p.e(), 1);
        EXPECT_EQ(bucketOf(list, "e5", "d6"), 16);
        const int n = findCandidate(p.e(), 1, "e5", "d6");
        ASSERT_NE(n, 0);
        EXPECT_EQ(p.e().moveList[1][n][kCandTargetKind], 10);
    }
    {
        // King captures by kind, and castling at key 1.
        Pos p("4k3/8/8/8/8/8/3qn3/R3K3 w Q - 0 1");
        auto list = bucketedCandidates(p.e(), 1);
        EXPECT_EQ(bucketOf(list, "e1", "d2"), 4);
        EXPECT_EQ(bucketOf(list, "e1", "e2"), 12);
        int castling = 0;
        for (const auto& [b, m] : list)
            if (m[kCandToFile] == 0) castling = b;
        EXPECT_EQ(castling, 20);
    }
}

TEST(Candidates, CastlingCandidatesFollowTheKingsKind) {
    {
        // Kind 7 with f1 and g1 empty: listed even in check; the maker refuses it.
        Pos p("4k3/8/8/8/8/8/4r3/R3K2R w K - 0 1");
        EngineState& e = p.e();
        ASSERT_EQ(e.pieceKind[13], 7);
        generateCandidates(e, 1);
        const int n = findCastling(e, 1, true);
        ASSERT_NE(n, 0);
        EXPECT_EQ(findCastling(e, 1, false), 0);
        PositionSnapshot before(e);
        EXPECT_EQ(makeRow(e, 1, n), 0);
        EXPECT_TRUE(PositionSnapshot(e) == before);
        EXPECT_TRUE(rowClear(e, 1));
        // Beyond the depth it is still listed.
        e.iterationDepth = 0;
        generateCandidates(e, 1);
        EXPECT_NE(findCastling(e, 1, true), 0);
    }
    {
        Pos p("r3k2r/8/8/8/8/8/8/R3K2R w - - 0 1");
        generateCandidates(p.e(), 1);
        EXPECT_EQ(findCastling(p.e(), 1, true), 0);
        EXPECT_EQ(findCastling(p.e(), 1, false), 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Making listed moves

TEST(MakeListedMove, PinnedPiecesAndRefusalsLeaveNoTrace) {
    Pos p("4k3/4r3/8/8/8/8/4B3/4K3 w - - 0 1");
    EngineState& e = p.e();
    generateCandidates(e, 1);
    PositionSnapshot before(e);
    int bishopMoves = 0;
    for (int n = 1; n <= e.moveCount[1]; ++n) {
        if (e.moveList[1][n][kCandPiece] != absOf(e.board[5][2])) continue;
        ++bishopMoves;
        EXPECT_EQ(makeRow(e, 1, n), 0);
        EXPECT_TRUE(PositionSnapshot(e) == before);
        EXPECT_TRUE(rowClear(e, 1));
    }
    EXPECT_GT(bishopMoves, 5);

    Pos q("4k3/4r3/8/8/8/8/4R3/4K3 w - - 0 1");
    EngineState& f = q.e();
    generateCandidates(f, 1);
    EXPECT_EQ(makeRow(f, 1, findCandidate(f, 1, "e2", "d2")), 0);
    PositionSnapshot start(f);
    const int n = findCandidate(f, 1, "e2", "e7");
    ASSERT_EQ(makeRow(f, 1, n), 1);
    EXPECT_EQ(f.plyRecord[1][kRecCaptured], f.pieceIndexOf[9] * -1);
    EXPECT_EQ(f.materialCount[-4][1], 0);
    takeBackMove(f, 1);
    EXPECT_TRUE(PositionSnapshot(f) == start);
}

TEST(MakeListedMove, CastlingSafetyOfTheKingsPath) {
    struct Case {
        const char* fen;
        bool kingside;
        int result;
    };
    const std::vector<Case> cases = {
        {"r3k2r/8/8/8/8/8/4r3/R3K2R w KQkq - 0 1", true, 0},   // in check
        {"r3k2r/8/8/8/8/8/4r3/R3K2R w KQkq - 0 1", false, 0},  // in check
        {"r3k2r/8/8/8/8/8/5r2/R3K2R w KQkq - 0 1", true, 0},   // f1 attacked
        {"r3k2r/8/8/8/8/8/5r2/R3K2R w KQkq - 0 1", false, 1},
        {"r3k2r/8/8/8/8/8/6r1/R3K2R w KQkq - 0 1", true, 0},   // g1 attacked
        {"r3k2r/8/8/8/8/8/3r4/R3K2R w KQkq - 0 1", false, 0},  // d1 attacked
        {"r3k2r/8/8/8/8/8/2r5/R3K2R w KQkq - 0 1", false, 0},  // c1 attacked
        {"r3k2r/8/8/8/8/8/1r6/R3K2R w KQkq - 0 1", false, 1},  // b1 attacked: allowed
        {"r3k2r/8/8/8/8/8/1r6/R3K2R w KQkq - 0 1", true, 1},
        {"r3k2r/8/8/8/8/8/8/R3K1nR w KQkq - 0 1", false, 1},  // knight on g1 blocks h-side
        {"r3k2r/1R6/8/8/8/8/8/4K3 b kq - 0 1", false, 1},     // b8 attacked
        {"r3k2r/2R5/8/8/8/8/8/4K3 b kq - 0 1", false, 0},     // c8 attacked
        {"r3k2r/8/8/8/8/8/8/4K2B b kq - 0 1", false, 1},
        {"r3k2r/8/8/8/8/8/8/4KB2 b kq - 0 1", true, 1},
        {"r3k2r/8/8/8/1B6/8/8/4K3 b kq - 0 1", true, 0},  // f8 attacked
        {"r3k2r/8/8/8/2B5/8/8/4K3 b kq - 0 1", true, 0},  // g8 attacked
        {"r3k2r/8/8/8/8/8/8/4K3 b kq - 0 1", true, 1},
        {"r3k2r/6P1/8/8/8/8/8/4K3 b kq - 0 1", true, 0},  // pawn on g7 hits f8 and h8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + (c.kingside ? " kingside" : " queenside"));
        Pos p(c.fen);
        EngineState& e = p.e();
        generateCandidates(e, 1);
        const int n = findCastling(e, 1, c.kingside);
        if (n == 0) {
            // Not even a candidate (a square between king and rook is taken).
            EXPECT_EQ(c.result, 0);
            continue;
        }
        PositionSnapshot before(e);
        const int made = makeRow(e, 1, n);
        EXPECT_EQ(made, c.result);
        if (made == 0) {
            EXPECT_TRUE(PositionSnapshot(e) == before) << "kingPos must be restored";
            EXPECT_TRUE(rowClear(e, 1));
            continue;
        }
        const int s = e.sideToMove, r = s > 0 ? 1 : 8;
        EXPECT_EQ(e.board[c.kingside ? 7 : 3][r], 13 * s);
        EXPECT_EQ(e.board[c.kingside ? 6 : 4][r], (c.kingside ? 16 : 9) * s);
        EXPECT_EQ(e.kingPos[s][1], c.kingside ? 7 : 3);
        EXPECT_EQ(e.plyRecord[1][kRecCastling], c.kingside ? 1 : 2);
        EXPECT_EQ(e.plyRecord[1][kRecOwnKingKind], 6 * s);
        EXPECT_EQ(e.pieceKind[13 * s], 9 * s);
        e.sideToMove = -s;
        EXPECT_EQ(invariantViolations(e), "");
        e.sideToMove = s;
        takeBackMove(e, 1);
        EXPECT_TRUE(PositionSnapshot(e) == before);
        EXPECT_TRUE(rowClear(e, 1));
    }
}

TEST(MakeListedMove, RookCapturesAndRookMovesChangeCastlingRights) {
    {
        Pos p("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
        EngineState& e = p.e();
        generateCandidates(e, 1);
        PositionSnapshot before(e);
        ASSERT_EQ(makeRow(e, 1, findCandidate(e, 1, "h1", "h8")), 1);
        EXPECT_EQ(e.pieceKind[-13], -8);
        EXPECT_EQ(e.plyRecord[1][kRecOtherKingKind], -6);
        EXPECT_EQ(e.pieceKind[13], 8);
        EXPECT_EQ(e.plyRecord[1][kRecOwnKingKind], 6);
        EXPECT_EQ(e.plyRecord[1][kRecKindAfter], 4);
        takeBackMove(e, 1);
        EXPECT_EQ(e.pieceKind[-13], -6);
        EXPECT_EQ(e.pieceKind[13], 6);
        EXPECT_TRUE(PositionSnapshot(e) == before);
    }
    {
        // A knight takes the h8 rook: only Black's right changes.
        Pos p("r3k2r/8/6N1/8/8/8/8/4K3 w kq - 0 1");
        EngineState& e = p.e();
        generateCandidates(e, 1);
        PositionSnapshot before(e);
        ASSERT_EQ(makeRow(e, 1, findCandidate(e, 1, "g6", "h8")), 1);
        EXPECT_EQ(e.pieceKind[-13], -8);
        EXPECT_EQ(e.plyRecord[1][kRecOtherKingKind], -6);
        EXPECT_EQ(e.plyRecord[1][kRecOwnKingKind], 0);
        takeBackMove(e, 1);
        EXPECT_TRUE(PositionSnapshot(e) == before);
    }
    {
        // The a-side rook away and back: the queenside right stays lost.
        Pos p("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
        EngineState& e = p.e();
        generateCandidates(e, 1);
        ASSERT_EQ(makeRow(e, 1, findCandidate(e, 1, "a1", "a2")), 1);
        EXPECT_EQ(e.pieceKind[13], 7);
        e.sideToMove = -1;
        generateCandidates(e, 2);
        ASSERT_EQ(makeRow(e, 2, findCandidate(e, 2, "e8", "e7")), 1);
        EXPECT_EQ(e.pieceKind[-13], -9);
        e.sideToMove = 1;
        generateCandidates(e, 3);
        ASSERT_EQ(makeRow(e, 3, findCandidate(e, 3, "a2", "a1")), 1);
        EXPECT_EQ(e.pieceKind[13], 7);
        EXPECT_EQ(e.plyRecord[3][kRecOwnKingKind], 0) << "nothing changed, nothing recorded";
        takeBackMove(e, 3);
        e.sideToMove = -1;
        takeBackMove(e, 2);
        e.sideToMove = 1;
        takeBackMove(e, 1);
        EXPECT_EQ(e.pieceKind[13], 6);
        EXPECT_EQ(e.pieceKind[-13], -6);
    }
    {
        // The castling right follows the rook's identity after a set-up with an extra rook.
        Pos p(kRookOnE8);
        EngineState& e = p.e();
        generateCandidates(e, 1);
        ASSERT_EQ(makeRow(e, 1, findCandidate(e, 1, "e8", "e7")), 1);
        EXPECT_EQ(e.pieceKind[13], 6) << "the e8 rook is not a castling rook";
        takeBackMove(e, 1);
        ASSERT_EQ(makeRow(e, 1, findCandidate(e, 1, "h1", "h2")), 1);
        EXPECT_EQ(e.pieceKind[13], 8);
        takeBackMove(e, 1);
        EXPECT_EQ(e.pieceKind[13], 6);
    }
}

TEST(MakeListedMove, PromotionsDoubleStepsAndEnPassant) {
    {
        // Capturing promotion to a bishop on a dark square.
        Pos p("3r3k/4P3/8/8/8/8/8/4K3 w - - 0 1");
        EngineState& e = p.e();
        generateCandidates(e, 1);
        PositionSnapshot before(e);
        const int pawn = e.board[5][7];
        ASSERT_EQ(makeRow(e, 1, findCandidate(e, 1, "e7", "d8", 3)), 1);
        EXPECT_EQ(e.pieceKind[pawn], 3);
        EXPECT_EQ(e.pieceSlots[pawn], 28);
        EXPECT_EQ(e.materialCount[3][2], 1);
        EXPECT_EQ(e.materialCount[3][1], 0);
        EXPECT_EQ(e.materialCount[1][1], 0);
        EXPECT_EQ(e.materialCount[-4][1], 0);
        EXPECT_EQ(e.plyRecord[1][kRecPromotion], 3);
        EXPECT_EQ(e.plyRecord[1][kRecKindAfter], 3);
        e.sideToMove = -1;
        EXPECT_EQ(invariantViolations(e), "");
        e.sideToMove = 1;
        takeBackMove(e, 1);
        EXPECT_TRUE(PositionSnapshot(e) == before);
        EXPECT_EQ(e.pieceSlots[pawn], 18);
    }
    {
        // A double step marks the pawn; the next make turns it back before anything else; the
        // take-backs restore the mark at each ply.
        Pos p("4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1");
        EngineState& e = p.e();
        generateCandidates(e, 1);
        PositionSnapshot start(e);
        const int pawn = e.board[5][2];
        ASSERT_EQ(makeRow(e, 1, findCandidate(e, 1, "e2", "e4")), 1);
        EXPECT_EQ(e.pieceKind[pawn], 10);
        EXPECT_EQ(e.epInfo[1], 5);
        EXPECT_EQ(e.epInfo[2], 4);
        EXPECT_EQ(e.epInfo[3], pawn);
        EXPECT_EQ(e.plyRecord[1][kRecDoubleStep], 1);
        PositionSnapshot afterStep(e);
        e.sideToMove = -1;
        generateCandidates(e, 2);
        const int ep = findCandidate(e, 2, "d4", "e3");
        ASSERT_NE(ep, 0);
        EXPECT_EQ(e.moveList[2][ep][kCandTargetKind], 10);
        const int quiet = findCandidate(e, 2, "e8", "d8");
        ASSERT_EQ(makeRow(e, 2, quiet), 1);
        EXPECT_EQ(e.pieceKind[pawn], 1);
        EXPECT_EQ(e.epInfo[1], 0);
        takeBackMove(e, 2);
        EXPECT_TRUE(PositionSnapshot(e) == afterStep);
        ASSERT_EQ(makeRow(e, 2, ep), 1);
        EXPECT_EQ(e.board[5][4], 0);
        EXPECT_EQ(e.piecePos[pawn][1], 0);
        EXPECT_EQ(e.materialCount[1][1], 0);
        EXPECT_EQ(e.plyRecord[2][kRecEnPassant], 1);
        EXPECT_EQ(e.plyRecord[2][kRecCaptured], pawn);
        takeBackMove(e, 2);
        EXPECT_TRUE(PositionSnapshot(e) == afterStep);
        e.sideToMove = 1;
        takeBackMove(e, 1);
        EXPECT_TRUE(PositionSnapshot(e) == start);
        EXPECT_EQ(e.pieceKind[pawn], 1);
    }
}

// ---------------------------------------------------------------------------------------------
// Round trips: every make is undone exactly

struct Explorer {
    EngineState& e;
    long made = 0;
    bool checkInvariants = true;

    void explore(int ply, int depth) {
        generateCandidates(e, ply);
        const int s = e.sideToMove;
        for (int n = 1; n <= e.moveCount[ply]; ++n) {
            PositionSnapshot before(e);
            const auto rowBefore = e.plyRecord[ply - 1];
            int result = makeRow(e, ply, n);
            if (result == 0) {
                ASSERT_TRUE(PositionSnapshot(e) == before) << "a refused move changed the board";
                ASSERT_TRUE(rowClear(e, ply));
                continue;
            }
            ++made;
            ASSERT_EQ(e.sideToMove, s);
            e.sideToMove = -s;
            if (checkInvariants) {
                ASSERT_EQ(invariantViolations(e), "") << "ply " << ply << "\n" << boardText(e);
            }
            if (ply < depth) {
                explore(ply + 1, depth);
                if (::testing::Test::HasFatalFailure()) return;
            }
            e.sideToMove = s;
            takeBackMove(e, ply);
            ASSERT_TRUE(PositionSnapshot(e) == before)
                << "take-back at ply " << ply << " of candidate " << n << "\n"
                << boardText(e);
            ASSERT_TRUE(rowClear(e, ply));
            ASSERT_TRUE(e.plyRecord[ply - 1] == rowBefore);
        }
    }
};

TEST(RoundTrip, EveryMoveOfTheClassicPositionsIsTakenBackExactly) {
    struct Case {
        const char* fen;
        int depth;
        int iterationDepth;
        bool invariants;
    };
    const std::vector<Case> cases = {
        {kStart, 3, kMaxDepth, true},
        {kKiwipete, 2, kMaxDepth, true},
        {kKiwipete, 3, kMaxDepth, false},
        {kPosition3, 4, kMaxDepth, true},
        {kPosition4, 3, kMaxDepth, true},
        {kPosition4Mirrored, 3, kMaxDepth, false},
        {kPosition5, 3, kMaxDepth, false},
        {kPosition6, 2, kMaxDepth, true},
        {kExtraWhiteRook, 2, kMaxDepth, true},
        {kExtraBlackRook, 2, kMaxDepth, true},
        {kRookOnE8, 3, kMaxDepth, true},
        // Beyond the iteration depth only captures, promotions and castling are made.
        {kKiwipete, 5, 1, false},
        {kPosition4, 5, 1, false},
        {"rnbqkbnr/ppp1pppp/8/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6 0 2", 3, kMaxDepth, true},
        {"r3k2r/1P4P1/8/2pP4/8/8/1p4p1/R3K2R w KQkq c6 0 1", 3, kMaxDepth, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fen);
        Pos p(c.fen);
        EngineState& e = p.e();
        e.iterationDepth = c.iterationDepth;
        PositionSnapshot start(e);
        Explorer x{e};
        x.checkInvariants = c.invariants;
        x.explore(1, c.depth);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_TRUE(PositionSnapshot(e) == start);
        EXPECT_GT(x.made, 0);
    }
}

TEST(RoundTrip, RandomPlayoutsWithRenumberingAreUndoneExactly) {
    std::mt19937 rng(99);
    long playouts = 0, plies = 0;
    for (const char* fen :
         {kStart, kKiwipete, kPosition3, kPosition4, kPosition5, kPosition6, kExtraWhiteRook,
          kExtraBlackRook, kRookOnE8, "r3k2r/1P4P1/8/2pP4/8/8/1p4p1/R3K2R w KQkq c6 0 1",
          "4k3/1P4P1/8/3pP3/8/8/1p4p1/4K3 w - d6 0 1"}) {
        SCOPED_TRACE(fen);
        Pos p(fen, rng());
        EngineState& e = p.e();
        for (int game = 0; game < 12; ++game) {
            // Renumbering happens between turns, with no move of the search on the board.
            const int renumberings = static_cast<int>(rng() % 3);
            for (int k = 0; k < renumberings; ++k) renumberPieces(e);
            ASSERT_EQ(invariantViolations(e), "");
            e.iterationDepth = kMaxDepth;
            std::vector<PositionSnapshot> path;
            int ply = 0;
            while (ply < kMaxDepth - 1) {
                const int next = ply + 1;
                generateCandidates(e, next);
                std::vector<int> legal;
                const int s = e.sideToMove;
                for (int n = 1; n <= e.moveCount[next]; ++n) {
                    PositionSnapshot before(e);
                    if (makeRow(e, next, n) == 0) {
                        ASSERT_TRUE(PositionSnapshot(e) == before);
                        continue;
                    }
                    legal.push_back(n);
                    takeBackMove(e, next);
                    ASSERT_TRUE(PositionSnapshot(e) == before)
                        << "ply " << next << " candidate " << n << "\n"
                        << boardText(e);
                    ASSERT_TRUE(rowClear(e, next));
                }
                if (legal.empty()) break;
                path.emplace_back(e);
                ASSERT_EQ(makeRow(e, next, legal[rng() % legal.size()]), 1);
                e.sideToMove = -s;
                ASSERT_EQ(invariantViolations(e), "") << "ply " << next << "\n" << boardText(e);
                ply = next;
                ++plies;
            }
            while (ply > 0) {
                e.sideToMove = -e.sideToMove;
                takeBackMove(e, ply);
                ASSERT_TRUE(PositionSnapshot(e) == path.back()) << "unwinding ply " << ply;
                path.pop_back();
                --ply;
            }
            ++playouts;
        }
    }
    EXPECT_GT(plies, 1000);
    EXPECT_EQ(playouts, 11 * 12);
}

// ---------------------------------------------------------------------------------------------
// Move-tree counts

TEST(Perft, CountsHoldWhateverTheNumberingAndSlotOrders) {
    struct Case {
        const char* fen;
        int depth;
        unsigned long long nodes;
    };
    const std::vector<Case> cases = {
        {kStart, 3, 8902},
        {kKiwipete, 3, 97862},
        {kPosition3, 4, 43238},
        {kPosition4, 3, 9467},
        {kPosition4Mirrored, 3, 9467},
        {kPosition5, 2, 1486},
        {kPosition6, 2, 2079},
        {kExtraWhiteRook, 3, 114299},
        {kExtraBlackRook, 3, 88263},
        {kRookOnE8, 4, 30367},
        {"4R3/8/6k1/8/8/8/8/R3K2R w K - 0 1", 4, 29119},
        {"4R3/8/6k1/8/8/8/8/R3K2R w Q - 0 1", 4, 29186},
    };
    for (const Case& c : cases) {
        for (int round = 0; round < 3; ++round) {
            SCOPED_TRACE(::testing::Message() << c.fen << " round " << round);
            Pos p(c.fen, 1000 + round);
            EngineState& e = p.e();
            for (int k = 0; k < round * 2; ++k) renumberPieces(e);
            e.iterationDepth = c.depth;
            EXPECT_EQ(countLeaves(e, 1, c.depth), c.nodes);
            EXPECT_EQ(invariantViolations(e), "");
        }
    }
}

struct ProgramRun {
    int status = -1;
    std::string out, err;
};

ProgramRun runPerft(const std::string& args, const std::string& tag) {
    const std::string dir = ::testing::TempDir();
    const std::string out =
        dir + "quillomar_perft_" + std::to_string(getpid()) + "_" + tag + ".out";
    const std::string err =
        dir + "quillomar_perft_" + std::to_string(getpid()) + "_" + tag + ".err";
    const std::string cmd = std::string("timeout 120 ") + QUILLOMAR_PERFT_BINARY + " " + args +
                            " > '" + out + "' 2> '" + err + "'";
    ProgramRun run;
    int status = std::system(cmd.c_str());
    if (status != -1 && WIFEXITED(status)) run.status = WEXITSTATUS(status);
    auto slurp = [](const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    };
    run.out = slurp(out);
    run.err = slurp(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return run;
}

TEST(Perft, ProgramCountsTheClassicPositions) {
    struct Case {
        const char* fen;
        int depth;
        unsigned long long nodes;
    };
    const std::vector<Case> cases = {
        {nullptr, 4, 197281},         {kKiwipete, 3, 97862},       {kPosition3, 5, 674624},
        {kPosition4, 4, 422333},      {kPosition5, 3, 62379},      {kPosition6, 3, 89890},
        {kExtraWhiteRook, 3, 114299}, {kExtraBlackRook, 3, 88263}, {kRookOnE8, 4, 30367},
    };
    int tag = 0;
    for (const Case& c : cases) {
        std::string args = std::to_string(c.depth);
        if (c.fen) args += std::string(" '") + c.fen + "'";
        SCOPED_TRACE(args);
        ProgramRun run = runPerft(args, std::to_string(tag++));
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        // "<move>: <count>" lines, an empty line, "Nodes searched: N".
        std::istringstream in(run.out);
        std::string line;
        unsigned long long sum = 0;
        std::set<std::string> moves;
        bool blank = false;
        unsigned long long total = 0;
        bool sawTotal = false;
        while (std::getline(in, line)) {
            if (line.empty()) {
                blank = true;
                continue;
            }
            if (blank) {
                ASSERT_EQ(line.rfind("Nodes searched: ", 0), 0u) << line;
                total = std::stoull(line.substr(16));
                sawTotal = true;
                continue;
            }
            const auto colon = line.find(": ");
            ASSERT_NE(colon, std::string::npos) << line;
            const std::string move = line.substr(0, colon);
            ASSERT_TRUE(move.size() == 4 || move.size() == 5) << line;
            EXPECT_TRUE(moves.insert(move).second) << "listed twice: " << move;
            sum += std::stoull(line.substr(colon + 2));
        }
        ASSERT_TRUE(sawTotal) << run.out;
        EXPECT_EQ(total, c.nodes);
        EXPECT_EQ(sum, total);
        Pos p(c.fen ? c.fen : kStart);
        LegalMoveList legal;
        listLegalMoves(p.e(), legal);
        EXPECT_EQ(static_cast<int>(moves.size()), legal.count);
    }
    // The start position's twenty moves by name.
    ProgramRun run = runPerft("1", "names");
    for (const char* m :
         {"a2a3", "a2a4", "b2b3", "b2b4", "c2c3", "c2c4", "d2d3", "d2d4", "e2e3", "e2e4",
          "f2f3", "f2f4", "g2g3", "g2g4", "h2h3", "h2h4", "b1a3", "b1c3", "g1f3", "g1h3"})
        EXPECT_NE(run.out.find(std::string(m) + ": 1\n"), std::string::npos) << m;
    EXPECT_NE(run.out.find("\nNodes searched: 20\n"), std::string::npos);
}

TEST(Perft, ProgramRefusesBadArguments) {
    int tag = 100;
    for (const char* args : {"3 '8/8/8/8/8/8/8/8 w - - 0 1'", "2 '4k3/8/8/8/8/8/4R3/4K3 w - - 0 1'",
                             "2 'rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP w KQkq - 0 1'"}) {
        ProgramRun run = runPerft(args, std::to_string(tag++));
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(run.out, "") << args;
        EXPECT_FALSE(run.err.empty()) << args;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
    for (const char* args : {"0", "abc", "-1", "", "2 x y"}) {
        ProgramRun run = runPerft(args, std::to_string(tag++));
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_FALSE(run.err.empty()) << args;
    }
}

}  // namespace
}  // namespace qm::test

#include "engine/fen_setup.h"

#include <vector>

#include "board/game_record.h"
#include "board/slots.h"
#include "board/state_init.h"

namespace qm {

namespace {

// A FEN text taken apart and checked, before anything is written.
struct FenPlan {
    char square[9][9] = {};  // [file][rank] piece letter or 0
    int side = 0;            // +1, -1, or 0 when the field is absent or holds another letter
    bool castle[4] = {};     // K, Q, k, q granted
    int epFile = 0;          // the pawn that has just advanced two squares, 0 when none
    int epRank = 0;
    int halfMoves = 0;
    int fullMoves = 0;  // 0 when absent
};

int colourOf(char c) {
    return (c >= 'A' && c <= 'Z') ? 1 : -1;
}
char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool isPieceLetter(char c) {
    switch (c) {
        case 'P':
        case 'N':
        case 'B':
        case 'R':
        case 'Q':
        case 'K':
        case 'p':
        case 'n':
        case 'b':
        case 'r':
        case 'q':
        case 'k':
            return true;
        default:
            return false;
    }
}

std::vector<std::string> splitFields(const std::string& text) {
    std::vector<std::string> fields;
    std::string current;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            if (!current.empty()) fields.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) fields.push_back(current);
    return fields;
}

// Leading decimal digits of a field, at most maxDigits of them; -1 when it has none.
int leadingDigits(const std::string& field, int maxDigits) {
    int value = 0;
    int digits = 0;
    for (char c : field) {
        if (c < '0' || c > '9') break;
        if (digits < maxDigits) value = value * 10 + (c - '0');
        ++digits;
    }
    return digits == 0 ? -1 : value;
}

// Is (file, rank) attacked by a piece of colour `by` on the planned board?
bool attacked(const FenPlan& plan, int file, int rank, int by) {
    auto at = [&](int f, int r) -> char { return onBoard(f, r) ? plan.square[f][r] : 0; };
    auto is = [&](int f, int r, char whiteLetter) {
        char c = at(f, r);
        return c != 0 && colourOf(c) == by && lower(c) == lower(whiteLetter);
    };
    if (is(file - 1, rank - by, 'p') || is(file + 1, rank - by, 'p')) return true;
    for (int j = 1; j <= 8; ++j)
        if (is(file + kJumpFile[j], rank + kJumpRank[j], 'n')) return true;
    for (int d = 1; d <= 8; ++d) {
        if (is(file + kDirFile[d], rank + kDirRank[d], 'k')) return true;
        int f = file + kDirFile[d], r = rank + kDirRank[d];
        while (onBoard(f, r) && at(f, r) == 0) f += kDirFile[d], r += kDirRank[d];
        if (!onBoard(f, r)) continue;
        char c = at(f, r);
        if (colourOf(c) != by) continue;
        char l = lower(c);
        if (l == 'q' || (d <= 4 && l == 'r') || (d > 4 && l == 'b')) return true;
    }
    return false;
}

bool parseFen(const std::string& text, FenPlan& plan) {
    std::vector<std::string> fields = splitFields(text);
    if (fields.empty()) return false;

    // Placement: exactly 8 ranks of 8 squares.
    int file = 1, rank = 8;
    for (char c : fields[0]) {
        if (c == '/') {
            if (file != 9 || rank == 1) return false;
            --rank;
            file = 1;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
            if (file > 9) return false;
        } else if (isPieceLetter(c)) {
            if (file > 8) return false;
            plan.square[file][rank] = c;
            ++file;
        } else {
            return false;
        }
    }
    if (rank != 1 || file != 9) return false;

    // Material a set-up can number: one king, at most 16 pieces and at most 8 pawns plus
    // pieces beyond the standard set per colour, no pawn on the first or last rank.
    for (int colour : {1, -1}) {
        int kings = 0, pieces = 0, pawns = 0, knights = 0, rooks = 0, queens = 0;
        int lightBishops = 0, darkBishops = 0;
        for (int f = 1; f <= 8; ++f)
            for (int r = 1; r <= 8; ++r) {
                char c = plan.square[f][r];
                if (c == 0 || colourOf(c) != colour) continue;
                ++pieces;
                switch (lower(c)) {
                    case 'k':
                        ++kings;
                        break;
                    case 'p':
                        if (r == 1 || r == 8) return false;
                        ++pawns;
                        break;
                    case 'n':
                        ++knights;
                        break;
                    case 'r':
                        ++rooks;
                        break;
                    case 'q':
                        ++queens;
                        break;
                    case 'b':
                        (lightSquare(f, r) ? lightBishops : darkBishops) += 1;
                        break;
                    default:
                        break;
                }
            }
        if (kings != 1 || pieces > 16) return false;
        auto beyond = [](int have, int standard) { return have > standard ? have - standard : 0; };
        int extras = beyond(knights, 2) + beyond(rooks, 2) + beyond(queens, 1) +
                     beyond(lightBishops, 1) + beyond(darkBishops, 1);
        if (pawns + extras > 8) return false;
    }

    if (fields.size() > 1) {
        if (fields[1] == "w") plan.side = 1;
        if (fields[1] == "b") plan.side = -1;
    }
    if (fields.size() > 2) {
        for (char c : fields[2]) {
            switch (c) {
                case 'K':
                    plan.castle[0] = true;
                    break;
                case 'Q':
                    plan.castle[1] = true;
                    break;
                case 'k':
                    plan.castle[2] = true;
                    break;
                case 'q':
                    plan.castle[3] = true;
                    break;
                default:
                    break;
            }
        }
        // A right needs its king and rook on their home squares.
        if (plan.square[5][1] != 'K') plan.castle[0] = plan.castle[1] = false;
        if (plan.square[8][1] != 'R') plan.castle[0] = false;
        if (plan.square[1][1] != 'R') plan.castle[1] = false;
        if (plan.square[5][8] != 'k') plan.castle[2] = plan.castle[3] = false;
        if (plan.square[8][8] != 'r') plan.castle[2] = false;
        if (plan.square[1][8] != 'r') plan.castle[3] = false;
    }
    if (fields.size() > 3) {
        const std::string& ep = fields[3];
        if (ep.size() == 2 && ep[0] >= 'a' && ep[0] <= 'h' && (ep[1] == '3' || ep[1] == '6')) {
            int f = ep[0] - 96;
            bool white = ep[1] == '3';
            int pawnRank = white ? 4 : 5, passed = white ? 3 : 6, start = white ? 2 : 7;
            // Only a pawn that has just advanced two squares, with the other side to move.
            if (plan.square[f][pawnRank] == (white ? 'P' : 'p') && plan.square[f][passed] == 0 &&
                plan.square[f][start] == 0 && plan.side == (white ? -1 : 1)) {
                plan.epFile = f;
                plan.epRank = pawnRank;
            }
        }
    }
    if (fields.size() > 4) {
        int h = leadingDigits(fields[4], 3);
        plan.halfMoves = h < 0 ? 0 : h;
    }
    if (fields.size() > 5) {
        int n = leadingDigits(fields[5], 4);
        plan.fullMoves = n < 1 ? 0 : n;
    }
    return true;
}

// The side not to move must not be in check (the side to move could take its king).
bool kingsSafe(const FenPlan& plan, int sideToMove) {
    int other = -sideToMove;
    char king = other > 0 ? 'K' : 'k';
    for (int f = 1; f <= 8; ++f)
        for (int r = 1; r <= 8; ++r)
            if (plan.square[f][r] == king) return !attacked(plan, f, r, sideToMove);
    return false;
}

}  // namespace

bool fenAcceptable(const std::string& text) {
    FenPlan plan;
    if (!parseFen(text, plan)) return false;
    return kingsSafe(plan, plan.side != 0 ? plan.side : 1);
}

bool setupFromFen(EngineState& e, const std::string& text) {
    FenPlan plan;
    if (!parseFen(text, plan)) return false;
    const int side = plan.side != 0 ? plan.side : (e.sideToMove != 0 ? e.sideToMove : 1);
    if (!kingsSafe(plan, side)) return false;

    e.sideToMove = side;

    // Piece indices by the set-up table, FEN order (rank 8 first, files a to h). A rook on a
    // corner whose castling right is granted takes 9 (a-side) or 16 (h-side).
    for (int colour : {1, -1}) {
        int counter = 0;
        bool used[17] = {};
        const int homeRank = colour > 0 ? 1 : 8;
        if (plan.castle[colour > 0 ? 1 : 3]) used[9] = true;
        if (plan.castle[colour > 0 ? 0 : 2]) used[16] = true;
        auto take = [&](int preferred) {
            if (preferred != 0 && !used[preferred]) {
                used[preferred] = true;
                return preferred;
            }
            return ++counter;
        };
        for (int r = 8; r >= 1; --r) {
            for (int f = 1; f <= 8; ++f) {
                char c = plan.square[f][r];
                if (c == 0 || colourOf(c) != colour) continue;
                int i = 0, kind = 0, slots = 0;
                switch (lower(c)) {
                    case 'p':
                        i = ++counter;
                        kind = kPawn;
                        slots = kPawnSlots;
                        break;
                    case 'n':
                        i = take(!used[10] ? 10 : 15);
                        kind = kKnight;
                        slots = kKnightSlots;
                        break;
                    case 'b': {
                        bool light = lightSquare(f, r);
                        int first = (colour > 0) == light ? 14 : 11;
                        i = take(first);
                        kind = kBishop;
                        slots = kBishopSlots;
                        break;
                    }
                    case 'r':
                        if (r == homeRank && f == 1 && plan.castle[colour > 0 ? 1 : 3])
                            i = 9;
                        else if (r == homeRank && f == 8 && plan.castle[colour > 0 ? 0 : 2])
                            i = 16;
                        else
                            i = take(!used[9] ? 9 : 16);
                        kind = kRook;
                        slots = kRookSlots;
                        break;
                    case 'q':
                        i = take(12);
                        kind = kQueen;
                        slots = kQueenSlots;
                        break;
                    default:
                        i = 13;
                        kind = kKingNone;
                        slots = kKingSlots;
                        e.kingPos[colour][1] = f;
                        e.kingPos[colour][2] = r;
                        break;
                }
                const int index = i * colour;
                e.board[f][r] = index;
                e.piecePos[index][1] = f;
                e.piecePos[index][2] = r;
                e.pieceKind[index] = kind * colour;
                e.pieceSlots[index] = slots;
            }
        }
    }
    recountOccupancy(e);
    if (plan.castle[0]) e.pieceKind[13] -= 2;
    if (plan.castle[1]) e.pieceKind[13] -= 1;
    if (plan.castle[2]) e.pieceKind[-13] += 2;
    if (plan.castle[3]) e.pieceKind[-13] += 1;

    if (plan.epFile != 0) {
        const int pawn = e.board[plan.epFile][plan.epRank];
        const int colour = signOf(pawn);
        e.epInfo[1] = plan.epFile;
        e.epInfo[2] = plan.epRank;
        e.epInfo[3] = pawn;
        e.epInfo[4] = e.pieceKind[pawn];
        e.pieceKind[pawn] = kPawnDoubleStep * colour;
        auto& r0 = e.plyRecord[0];
        r0[1] = pawn;
        r0[5] = 1;
        r0[6] = plan.epFile;
        r0[7] = colour > 0 ? 2 : 7;
        r0[8] = plan.epFile;
        r0[9] = plan.epRank;
    }

    if (plan.fullMoves > 0) e.gamePly = side > 0 ? 2 * plan.fullMoves - 1 : 2 * plan.fullMoves;
    if (e.gamePly > kPlyCapacity) {
        // A move number beyond what the tables hold: count the plies in gamePlyBase instead.
        int shift = e.gamePly - kPlyRowsKept;
        shift -= shift % 2;
        e.gamePly -= shift;
        e.gamePlyBase = shift;
    }
    noteGameRow(e, e.gamePly - 1);
    e.gameMoves[e.gamePly - 1][8] = plan.halfMoves;

    for (int f = 1; f <= 8; ++f)
        for (int r = 1; r <= 8; ++r) {
            int index = e.board[f][r];
            if (index == 0) continue;
            int kind = e.pieceKind[index];
            int k = absOf(kind);
            if (k == kPawnDoubleStep) kind = signOf(kind);
            if (k > 5 && k < 10) continue;
            if (absOf(kind) == kBishop)
                e.materialCount[kind][bishopColumn(f, r)] += 1;
            else
                e.materialCount[kind][1] += 1;
        }

    keySetupPosition(e, e.gamePly - 1, side);
    e.positionHeld = true;
    e.historyCount = 0;
    e.historyComplete = true;
    e.setupSideToMove = side;
    e.setupPlyNumber = gamePlyNumber(e);
    return true;
}

}  // namespace qm

"""Small, independent chess helpers for the soak and match tools.

FEN parsing and sanity checks, attack detection, dead-material and repetition keys, and a
line-oriented client for a UCI engine used as a move-legality oracle. Python stdlib only.
"""

import os
import re
import select
import shutil
import subprocess
import time

FILES = "abcdefgh"


class FenError(ValueError):
    pass


def sq_name(sq):
    return FILES[sq % 8] + str(sq // 8 + 1)


def sq_index(name):
    return FILES.index(name[0]) + 8 * (int(name[1]) - 1)


def parse_fen(fen):
    """Returns a dict; board is a list of 64 piece letters or '.', a1 = 0, h8 = 63."""
    fields = fen.split()
    if len(fields) != 6:
        raise FenError("expected 6 fields, got %d" % len(fields))
    placement, stm, castling, ep, half, full = fields
    ranks = placement.split("/")
    if len(ranks) != 8:
        raise FenError("expected 8 ranks")
    board = ["."] * 64
    for i, row in enumerate(ranks):
        rank = 7 - i
        f = 0
        for ch in row:
            if ch.isdigit():
                if ch == "0" or ch == "9":
                    raise FenError("bad empty count in rank %d" % (rank + 1))
                f += int(ch)
            elif ch in "PNBRQKpnbrqk":
                if f > 7:
                    raise FenError("rank %d too long" % (rank + 1))
                board[rank * 8 + f] = ch
                f += 1
            else:
                raise FenError("bad character %r" % ch)
        if f != 8:
            raise FenError("rank %d has %d squares" % (rank + 1, f))
    if stm not in ("w", "b"):
        raise FenError("bad side to move")
    if castling != "-" and (not re.fullmatch(r"K?Q?k?q?", castling)):
        raise FenError("bad castling field")
    if ep != "-" and not re.fullmatch(r"[a-h][36]", ep):
        raise FenError("bad en-passant field")
    if not half.isdigit() or not full.isdigit() or int(full) < 1:
        raise FenError("bad move counters")
    return {"board": board, "stm": stm, "castling": castling, "ep": ep,
            "half": int(half), "full": int(full)}


KNIGHT_STEPS = [(1, 2), (2, 1), (2, -1), (1, -2), (-1, -2), (-2, -1), (-2, 1), (-1, 2)]
KING_STEPS = [(1, 0), (1, 1), (0, 1), (-1, 1), (-1, 0), (-1, -1), (0, -1), (1, -1)]


def attacked(board, sq, by_white):
    """True when square sq is attacked by a piece of the given colour."""
    f0, r0 = sq % 8, sq // 8

    def piece_at(f, r):
        return board[r * 8 + f] if 0 <= f < 8 and 0 <= r < 8 else None

    own = (lambda p: p.isupper()) if by_white else (lambda p: p.islower())
    pawn_dir = -1 if by_white else 1  # where the attacking pawn stands relative to sq
    for df in (-1, 1):
        p = piece_at(f0 + df, r0 + pawn_dir)
        if p and p != "." and own(p) and p.upper() == "P":
            return True
    for df, dr in KNIGHT_STEPS:
        p = piece_at(f0 + df, r0 + dr)
        if p and p != "." and own(p) and p.upper() == "N":
            return True
    for df, dr in KING_STEPS:
        p = piece_at(f0 + df, r0 + dr)
        if p and p != "." and own(p) and p.upper() == "K":
            return True
    for (df, dr), kinds in (((1, 0), "RQ"), ((-1, 0), "RQ"), ((0, 1), "RQ"), ((0, -1), "RQ"),
                            ((1, 1), "BQ"), ((1, -1), "BQ"), ((-1, 1), "BQ"), ((-1, -1), "BQ")):
        f, r = f0 + df, r0 + dr
        while 0 <= f < 8 and 0 <= r < 8:
            p = board[r * 8 + f]
            if p != ".":
                if own(p) and p.upper() in kinds:
                    return True
                break
            f += df
            r += dr
    return False


def in_check(pos, white):
    king = "K" if white else "k"
    return attacked(pos["board"], pos["board"].index(king), not white)


def fen_problems(fen):
    """Lists what makes a FEN unusable as a legal start position (empty list when fine)."""
    try:
        pos = parse_fen(fen)
    except FenError as exc:
        return [str(exc)]
    b = pos["board"]
    problems = []
    if b.count("K") != 1 or b.count("k") != 1:
        return ["each side needs exactly one king"]
    for colour, pieces in (("white", "PNBRQK"), ("black", "pnbrqk")):
        total = sum(b.count(p) for p in pieces)
        pawns = b.count(pieces[0])
        if total > 16 or pawns > 8:
            problems.append("%s has too many pieces" % colour)
        extra = sum(max(0, b.count(p) - n) for p, n in zip(pieces[1:5], (2, 2, 2, 1)))
        if extra > 8 - pawns:
            problems.append("%s has more promoted pieces than missing pawns" % colour)
    if any(b[i] in "Pp" for i in list(range(8)) + list(range(56, 64))):
        problems.append("pawn on a back rank")
    c = pos["castling"]
    needs = {"K": (4, "K", 7, "R"), "Q": (4, "K", 0, "R"), "k": (60, "k", 63, "r"),
             "q": (60, "k", 56, "r")}
    for right, (ksq, k, rsq, r) in needs.items():
        if right in c and (b[ksq] != k or b[rsq] != r):
            problems.append("castling right %s without king and rook at home" % right)
    white_to_move = pos["stm"] == "w"
    if pos["ep"] != "-":
        ep = sq_index(pos["ep"])
        if white_to_move:
            ok = ep // 8 == 5 and b[ep] == "." and b[ep + 8] == "." and b[ep - 8] == "p"
        else:
            ok = ep // 8 == 2 and b[ep] == "." and b[ep - 8] == "." and b[ep + 8] == "P"
        if not ok:
            problems.append("en-passant square does not follow a double step")
        if pos["half"] != 0:
            problems.append("en-passant square with a non-zero halfmove clock")
    if in_check(pos, not white_to_move):
        problems.append("the side not to move is in check")
    return problems


def dead_material(fen):
    """Neither side can ever mate: kings only, one lone minor, or only same-coloured bishops."""
    b = parse_fen(fen)["board"]
    others = [(i, p) for i, p in enumerate(b) if p not in ".Kk"]
    if any(p.upper() in "PRQ" for _, p in others):
        return False
    if len(others) <= 1:
        return True
    if all(p.upper() == "B" for _, p in others):
        colours = {(i % 8 + i // 8) % 2 for i, _ in others}
        return len(colours) == 1
    return False


def repetition_key(fen):
    """Placement, side, castling, and the en-passant square only when a capture there is
    possible for the side to move (pseudo-legally)."""
    pos = parse_fen(fen)
    fields = fen.split()
    ep = "-"
    if pos["ep"] != "-":
        e = sq_index(pos["ep"])
        b = pos["board"]
        pawn, behind = ("P", -8) if pos["stm"] == "w" else ("p", 8)
        for df in (-1, 1):
            f = e % 8 + df
            if 0 <= f < 8 and b[e + behind + df] == pawn:
                ep = pos["ep"]
    return " ".join(fields[:3] + [ep])


class OracleError(RuntimeError):
    pass


def find_program(name):
    for d in os.environ.get("PATH", "").split(":") + ["/usr/games", "/usr/local/games"]:
        p = os.path.join(d, name)
        if d and os.path.isfile(p) and os.access(p, os.X_OK):
            return p
    return shutil.which(name)


class UciOracle:
    """Legal moves, FEN and checkers of positions given as a FEN plus a move list."""

    def __init__(self, program="stockfish", timeout=20.0):
        path = find_program(program)
        if not path:
            raise OracleError("%s not found" % program)
        self.timeout = timeout
        self.proc = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, bufsize=0)
        self.buf = b""
        self._send("uci")
        self._until(lambda l: l == "uciok")
        self._send("setoption name Threads value 1")
        self._send("isready")
        self._until(lambda l: l == "readyok")

    def _send(self, line):
        self.proc.stdin.write((line + "\n").encode())
        self.proc.stdin.flush()

    def _readline(self, deadline):
        while b"\n" not in self.buf:
            left = deadline - time.monotonic()
            if left <= 0:
                raise OracleError("oracle timed out")
            r, _, _ = select.select([self.proc.stdout], [], [], left)
            if r:
                chunk = os.read(self.proc.stdout.fileno(), 65536)
                if not chunk:
                    raise OracleError("oracle exited")
                self.buf += chunk
        line, self.buf = self.buf.split(b"\n", 1)
        return line.decode(errors="replace").rstrip("\r")

    def _until(self, stop):
        deadline = time.monotonic() + self.timeout
        lines = []
        while True:
            line = self._readline(deadline)
            lines.append(line)
            if stop(line):
                return lines

    def _position(self, fen, moves):
        cmd = "position fen " + fen
        if moves:
            cmd += " moves " + " ".join(moves)
        self._send(cmd)

    def legal_moves(self, fen, moves=()):
        self._position(fen, moves)
        self._send("go perft 1")
        lines = self._until(lambda l: l.startswith("Nodes searched"))
        out = set()
        for l in lines:
            m = re.match(r"^([a-h][1-8][a-h][1-8][qrbn]?): 1$", l)
            if m:
                out.add(m.group(1))
        return out

    def describe(self, fen, moves=()):
        """Returns (fen, in_check) of the position after the moves."""
        self._position(fen, moves)
        self._send("d")
        lines = self._until(lambda l: l.startswith("Checkers:"))
        cur = None
        for l in lines:
            if l.startswith("Fen: "):
                cur = l[5:].strip()
        checkers = lines[-1][len("Checkers:"):].strip()
        if cur is None:
            raise OracleError("no FEN from oracle")
        return cur, bool(checkers)

    def close(self):
        try:
            self._send("quit")
            self.proc.wait(timeout=5)
        except Exception:
            self.proc.kill()
            self.proc.wait()

// The board page: a person plays a game against the engine, which runs in a Web Worker and
// speaks UCI. chess.js keeps the game (legal moves, SAN, the end of the game, PGN);
// cm-chessboard shows it and takes the person's moves by drag or by click.
import { Chessboard, COLOR, INPUT_EVENT_TYPE, FEN } from "./lib/cm-chessboard/src/Chessboard.js";
import { Markers, MARKER_TYPE } from "./lib/cm-chessboard/src/extensions/markers/Markers.js";
import { PromotionDialog } from "./lib/cm-chessboard/src/extensions/promotion-dialog/PromotionDialog.js";
import { Chess } from "./lib/chess.js/chess.js";
import { EngineLink } from "./engine-link.js";

// Where "stop" cannot reach the engine, every search has this fixed time.
const UNSTOPPABLE_MOVETIME = "movetime 1000";

const $ = (id) => document.getElementById(id);
const game = new Chess();
let personColor = "w";
// The searches sent and not answered yet, oldest first; an abandoned one is answered but its
// move is dropped.
const searches = [];

const engine = new EngineLink(engineLine);
const board = new Chessboard($("board"), {
    position: FEN.start,
    assetsUrl: "lib/cm-chessboard/assets/",
    style: { cssClass: "default", showCoordinates: true, animationDuration: 200 },
    extensions: [{ class: Markers, props: { autoMarkers: MARKER_TYPE.frame } }, { class: PromotionDialog }],
});

const thinking = () => searches.some((s) => !s.discard);
const personToMove = () => game.turn() === personColor && !gameEnd();
const colourName = (c) => (c === "w" ? "White" : "Black");

// The end of the game on the board, named, with its result; null while it goes on.
function gameEnd() {
    if (game.isCheckmate()) {
        const winner = game.turn() === "w" ? "b" : "w";
        return { text: `Checkmate: ${colourName(winner)} wins`, result: winner === "w" ? "1-0" : "0-1" };
    }
    const draw = (why) => ({ text: `Draw by ${why}`, result: "1/2-1/2" });
    if (game.isStalemate()) return { text: "Stalemate: a draw", result: "1/2-1/2" };
    if (game.isInsufficientMaterial()) return draw("insufficient material");
    if (game.isThreefoldRepetition()) return draw("threefold repetition");
    if (game.isDrawByFiftyMoves()) return draw("the fifty-move rule");
    return null;
}

// Moves in coordinates from the start, as UCI takes them.
function uciMoves() {
    return game.history({ verbose: true }).map((m) => m.from + m.to + (m.promotion || ""));
}

function engineGo() {
    if (game.turn() === personColor || gameEnd()) return;
    const moves = uciMoves();
    engine.send("position startpos" + (moves.length ? " moves " + moves.join(" ") : ""));
    const limit = engine.canStop ? $("strength").value : UNSTOPPABLE_MOVETIME;
    engine.send("go " + limit);
    searches.push({ fen: game.fen(), discard: false });
    $("thinking").textContent = "";
    show();
}

function abandonSearch() {
    if (!thinking()) return;
    if (engine.abandon()) searches.forEach((s) => (s.discard = true));
    else searches.length = 0;
}

function engineLine(line) {
    const words = line.trim().split(/\s+/);
    // The engine answers its searches in turn: its lines are the oldest unanswered one's.
    if (words[0] === "info" && searches.length > 0) showInfo(words, searches[0]);
    if (words[0] !== "bestmove") return;
    const search = searches.shift();
    if (!search || search.discard) return;
    const text = words[1] || "";
    try {
        game.move({ from: text.slice(0, 2), to: text.slice(2, 4), promotion: text[4] });
    } catch {
        $("status").textContent = `The engine answered "${line}", which is not a legal move here.`;
        return;
    }
    afterMove();
}

// A thinking line: depth, score from White's side, speed and the line in SAN.
function showInfo(words, search) {
    const field = (name) => {
        const i = words.indexOf(name);
        return i < 0 ? undefined : words[i + 1];
    };
    if (field("depth") === undefined || search.discard) return;
    const sign = search.fen.split(" ")[1] === "w" ? 1 : -1;
    let score = "";
    const i = words.indexOf("score");
    if (i >= 0 && words[i + 1] === "cp") {
        const pawns = (sign * Number(words[i + 2])) / 100;
        score = (pawns >= 0 ? "+" : "") + pawns.toFixed(2);
    }
    // Mate in so many moves, negative when Black mates.
    if (i >= 0 && words[i + 1] === "mate") score = "#" + sign * Number(words[i + 2]);
    const ms = Number(field("time") || 0);
    const nps = ms > 0 ? `${((Number(field("nodes")) / ms) * 1000 / 1e6).toFixed(2)} M nodes/s` : "";
    const pv = words.indexOf("pv") >= 0 ? words.slice(words.indexOf("pv") + 1) : [];
    $("thinking").textContent = [`depth ${field("depth")}`, score, nps, sanLine(search.fen, pv)]
        .filter(Boolean)
        .join(" · ");
}

function sanLine(fen, pv) {
    const line = new Chess(fen);
    const parts = [];
    for (const text of pv) {
        const number = line.moveNumber();
        const white = line.turn() === "w";
        let move;
        try {
            move = line.move({ from: text.slice(0, 2), to: text.slice(2, 4), promotion: text[4] });
        } catch {
            break;
        }
        if (white) parts.push(`${number}. ${move.san}`);
        else parts.push(parts.length === 0 ? `${number}… ${move.san}` : move.san);
    }
    return parts.join(" ");
}

// The board, the move list, the status line and the buttons, after the game changed.
function afterMove() {
    board.setPosition(game.fen(), true);
    const last = game.history({ verbose: true }).pop();
    board.removeMarkers(MARKER_TYPE.square);
    if (last) {
        board.addMarker(MARKER_TYPE.square, last.from);
        board.addMarker(MARKER_TYPE.square, last.to);
    }
    showMoves();
    engineGo();
    show();
}

function showMoves() {
    const list = $("moves");
    list.replaceChildren();
    const history = game.history();
    for (let ply = 0; ply < history.length; ply += 2) {
        const item = document.createElement("li");
        const number = document.createElement("span");
        number.className = "number";
        number.textContent = `${ply / 2 + 1}.`;
        item.append(number, " ");
        for (const p of [ply, ply + 1].filter((p) => p < history.length)) {
            const span = document.createElement("span");
            span.className = "move" + (p === history.length - 1 ? " last" : "");
            span.dataset.ply = String(p);
            span.textContent = history[p];
            item.append(span, " ");
        }
        list.append(item);
    }
    list.scrollTop = list.scrollHeight;
}

function show() {
    const end = gameEnd();
    if (end) $("status").textContent = `${end.text} (${end.result})`;
    else if (thinking()) $("status").textContent = "Quillomar is thinking…";
    else if (personToMove()) $("status").textContent = `Your move (${colourName(personColor)})`;
    $("move-now").disabled = !thinking() || !engine.canStop;
    $("take-back").disabled = !game.history().some((_, ply) => (ply % 2 === 0) === (personColor === "w"));
}

function personMove(move) {
    try {
        game.move(move);
    } catch {
        board.setPosition(game.fen());
        return;
    }
    afterMove();
}

// Moves by drag or by click: the legal targets of the piece taken are marked.
function moveInput(event) {
    switch (event.type) {
        case INPUT_EVENT_TYPE.moveInputStarted: {
            if (!personToMove() || thinking()) return false;
            const moves = game.moves({ square: event.squareFrom, verbose: true });
            board.addLegalMovesMarkers(moves);
            return moves.length > 0;
        }
        case INPUT_EVENT_TYPE.validateMoveInput: {
            const moves = game
                .moves({ square: event.squareFrom, verbose: true })
                .filter((m) => m.to === event.squareTo);
            if (moves.length === 0) return false;
            const move = { from: event.squareFrom, to: event.squareTo };
            if (moves[0].promotion) {
                board.showPromotionDialog(event.squareTo, personColor, (result) => {
                    if (result && result.piece) personMove({ ...move, promotion: result.piece.charAt(1) });
                    else board.setPosition(game.fen(), true);
                });
            } else {
                // The board's own move is the dragged piece only: castling and en passant
                // are put right once it has moved.
                setTimeout(() => personMove(move));
            }
            return true;
        }
        case INPUT_EVENT_TYPE.moveInputCanceled:
        case INPUT_EVENT_TYPE.moveInputFinished:
            board.removeLegalMovesMarkers();
            return undefined;
        default:
            return undefined;
    }
}

function newGame() {
    abandonSearch();
    game.reset();
    personColor = $("colour").value;
    board.disableMoveInput();
    board.enableMoveInput(moveInput, personColor === "w" ? COLOR.white : COLOR.black);
    if (board.getOrientation() !== personColor) board.setOrientation(personColor);
    $("thinking").textContent = "";
    afterMove();
}

// Back to the person's previous turn: their last move and the engine's reply to it, if any.
function takeBack() {
    if ($("take-back").disabled) return;
    abandonSearch();
    do game.undo();
    while (game.turn() !== personColor && game.history().length > 0);
    $("thinking").textContent = "";
    afterMove();
}

function downloadPgn() {
    const now = new Date();
    const pad = (n) => String(n).padStart(2, "0");
    const date = `${now.getFullYear()}.${pad(now.getMonth() + 1)}.${pad(now.getDate())}`;
    const end = gameEnd();
    game.setHeader("Event", "Game against Quillomar");
    game.setHeader("Site", location.href);
    game.setHeader("Date", date);
    game.setHeader("White", personColor === "w" ? "Person" : "Quillomar");
    game.setHeader("Black", personColor === "b" ? "Person" : "Quillomar");
    game.setHeader("Result", end ? end.result : "*");
    const link = document.createElement("a");
    link.href = URL.createObjectURL(new Blob([game.pgn() + "\n"], { type: "application/x-chess-pgn" }));
    link.download = `quillomar-${date.replaceAll(".", "")}-${pad(now.getHours())}${pad(now.getMinutes())}.pgn`;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 1000);
}

$("new-game").addEventListener("click", newGame);
$("take-back").addEventListener("click", takeBack);
$("flip").addEventListener("click", () => board.setOrientation(board.getOrientation() === "w" ? "b" : "w", true));
$("move-now").addEventListener("click", () => engine.send("stop"));
$("pgn").addEventListener("click", downloadPgn);
if (!engine.canStop) {
    $("notice").textContent =
        "This page is not cross-origin isolated, so the engine thinks 1 s a move and cannot be told to move now.";
    $("notice").hidden = false;
    $("strength").disabled = true;
}
newGame();

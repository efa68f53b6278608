// A scripted person plays the page in headless Chromium with the mouse:
//   node web/tests/play-a-game.mjs SITE_DIR OUTPUT_DIR
// at least 20 moves of its own, by drag and by click, against the engine at 0.5 s a move; every
// engine move must be legal and the board and the move list must follow the game, which this
// script keeps itself. On the way: a flip of the board, one take-back, "Move now" during a 10 s
// think (answered within 0.25 s), a new game whenever one ends, and the PGN download. Then the
// page served without the isolation headers must say so and still answer a move. Screenshots
// (desktop and phone width) and the downloaded PGN go to OUTPUT_DIR.
import fs from "node:fs";
import path from "node:path";
import zlib from "node:zlib";
import { launchChromium } from "../chromium.mjs";
import { Chess } from "chess.js";
import { serve } from "../serve.mjs";

const [site, out] = process.argv.slice(2);
fs.mkdirSync(out, { recursive: true });
const VALUE = { p: 1, n: 3, b: 3, r: 5, q: 9, k: 0 };
let failures = 0, passes = 0;
function check(ok, what) {
    if (ok) passes++;
    else failures++;
    console.log(`${ok ? "ok  " : "FAIL"} ${what}`);
    return ok;
}

// The person: the move that wins the most material against the opponent's best capture
// in reply, never one that allows mate at once; ties broken by a fixed pseudo-random draw.
let seed = 19;
function personChoice(game) {
    let best = null;
    for (const move of game.moves({ verbose: true })) {
        if (move.promotion && move.promotion !== "q") continue;
        const after = new Chess(move.after);
        let score = move.captured ? VALUE[move.captured] : 0;
        let worst = 0;
        for (const reply of after.moves({ verbose: true })) {
            if (reply.san.endsWith("#")) worst = 100;
            else if (reply.captured) worst = Math.max(worst, VALUE[reply.captured]);
        }
        seed = (seed * 1103515245 + 12345) % 2147483648;
        score += (move.promotion ? 8 : 0) - worst + (seed / 2147483648) * 0.5;
        if (!best || score > best.score) best = { move, score };
    }
    return best.move;
}

async function openPage(browser, url, width, height, loaded = []) {
    const page = await browser.newPage();
    page.on("pageerror", (error) => check(false, `no error on the page: ${error.message}`));
    page.on("response", (response) => loaded.push(new URL(response.url()).pathname));
    await page.setViewport({ width, height });
    await page.goto(url);
    await page.waitForSelector("#board .pieces g[data-square]");
    return page;
}

const pageState = (page) =>
    page.evaluate(() => ({
        pieces: Object.fromEntries(
            [...document.querySelectorAll("#board .pieces g[data-square]")].map((g) => [g.dataset.square, g.dataset.piece]),
        ),
        moves: [...document.querySelectorAll("#moves .move")].map((m) => m.textContent),
        status: document.getElementById("status").textContent,
    }));

function expectedPieces(game) {
    const pieces = {};
    for (const row of game.board()) for (const p of row) if (p) pieces[p.square] = p.color + p.type;
    return pieces;
}

// Waits until the page shows the game's moves and board, and it is the person's turn or the
// game is over; false after 30 s.
async function inStep(page, game) {
    const want = JSON.stringify(expectedPieces(game));
    for (const stop = Date.now() + 30000; Date.now() < stop; ) {
        const s = await pageState(page);
        if (
            JSON.stringify(s.moves) === JSON.stringify(game.history()) &&
            JSON.stringify(Object.fromEntries(Object.entries(s.pieces).sort())) ===
                JSON.stringify(Object.fromEntries(Object.entries(JSON.parse(want)).sort())) &&
            !s.status.includes("thinking")
        )
            return true;
        await new Promise((r) => setTimeout(r, 20));
    }
    return false;
}

async function squareCentre(page, square) {
    const box = await (await page.$(`#board .board [data-square="${square}"]`)).boundingBox();
    return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
}

// A move with the mouse: dragged, or clicked from and to.
async function play(page, move, drag) {
    const from = await squareCentre(page, move.from);
    const to = await squareCentre(page, move.to);
    if (drag) {
        await page.mouse.move(from.x, from.y);
        await page.mouse.down();
        await page.mouse.move(to.x, to.y, { steps: 8 });
        await page.mouse.up();
    } else {
        await page.mouse.click(from.x, from.y);
        await page.mouse.click(to.x, to.y);
    }
    if (move.promotion) {
        await page.waitForSelector(`.promotion-dialog-button[data-piece="${move.color}q"]`);
        await page.click(`.promotion-dialog-button[data-piece="${move.color}q"]`);
    }
}

// The engine's reply to the person's last move, read off the move list: legal in the game kept
// here, or the test fails.
async function engineReply(page, game) {
    await page.waitForFunction((n) => document.querySelectorAll("#moves .move").length > n, { timeout: 30000 }, game.history().length);
    const san = (await pageState(page)).moves[game.history().length];
    try {
        game.move(san);
        return true;
    } catch {
        return check(false, `engine move ${san} is legal after ${game.history().join(" ")}`);
    }
}

const server = await serve(site, 0);
const plain = await serve(site, 0, { isolated: false });
const browser = await launchChromium();
try {
    const url = `http://localhost:${server.address().port}/`;
    const loaded = [];
    const p = await openPage(browser, url, 1280, 800, loaded);
    check(await p.evaluate(() => crossOriginIsolated && document.getElementById("notice").hidden), "the page is cross-origin isolated and shows no notice");
    await p.select("#strength", "movetime 500");

    const game = new Chess();
    let personMoves = 0, engineMoves = 0, games = 1, flipped = false, tookBack = false;
    let movedNow = false;
    while (personMoves < 20) {
        if (!check(await inStep(p, game), `board and move list in step after ${game.history().join(" ") || "the start"}`)) break;
        if (game.isGameOver()) {
            const status = (await pageState(p)).status;
            const named = game.isCheckmate() ? "Checkmate" : game.isStalemate() ? "Stalemate" : "Draw by";
            check(status.startsWith(named), `the end of game ${games} is named: "${status}"`);
            await p.click("#new-game");
            game.reset();
            games++;
            continue;
        }
        if (personMoves === 4 && !flipped) {
            await p.click("#flip");
            await p.waitForFunction(() => {
                const y = (s) => document.querySelector(`#board .board [data-square="${s}"]`).getBoundingClientRect().y;
                return y("a1") < y("a8");
            });
            flipped = true;
        }
        if (personMoves === 8 && !tookBack && game.history().length >= 2) {
            await p.click("#take-back");
            game.undo();
            game.undo();
            personMoves--;
            tookBack = true;
            check(await inStep(p, game), "take-back: the person's move and the reply are gone from board and list");
            continue;
        }
        const move = personChoice(game);
        const thinkLong = personMoves === 12 && !movedNow;
        if (thinkLong) await p.select("#strength", "movetime 10000");
        await play(p, move, personMoves % 2 === 0);
        game.move(move);
        personMoves++;
        if (thinkLong) {
            await p.waitForFunction(() => document.getElementById("status").textContent.includes("thinking"));
            await new Promise((r) => setTimeout(r, 1000));
            const before = game.history().length;
            const sent = Date.now();
            await p.click("#move-now");
            await p.waitForFunction((n) => document.querySelectorAll("#moves .move").length > n, { timeout: 10000 }, before);
            const took = Date.now() - sent;
            check(took < 250, `"Move now" during a 10 s think answered in ${took} ms`);
            await p.select("#strength", "movetime 500");
            movedNow = true;
        }
        if (game.isGameOver()) continue;
        if (!(await engineReply(p, game))) break;
        engineMoves++;
    }
    check(await inStep(p, game), "board and move list in step at the end");
    check(personMoves >= 20 && tookBack && movedNow && flipped,
        `${personMoves} moves by the person, ${engineMoves} by the engine, all legal, in ${games} game(s)`);

    // The PGN download holds the moves of the game.
    const cdp = await p.createCDPSession();
    await cdp.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: path.resolve(out) });
    for (const f of fs.readdirSync(out)) if (f.endsWith(".pgn")) fs.rmSync(path.join(out, f));
    await p.click("#pgn");
    let pgn = null;
    for (let i = 0; i < 100 && !pgn; i++) {
        await new Promise((r) => setTimeout(r, 50));
        const f = fs.readdirSync(out).find((n) => n.endsWith(".pgn"));
        if (f) pgn = fs.readFileSync(path.join(out, f), "utf8");
    }
    const fromPgn = new Chess();
    if (pgn) fromPgn.loadPgn(pgn);
    check(pgn && fromPgn.history().join(" ") === game.history().join(" "), "the downloaded PGN holds the game");

    await p.screenshot({ path: path.join(out, "page-desktop.png") });
    // The board follows the new width a moment later.
    await p.setViewport({ width: 390, height: 844, deviceScaleFactor: 2 });
    const fits = () => document.documentElement.scrollWidth <= window.innerWidth;
    const phoneFits = await p.waitForFunction(fits, { timeout: 5000 }).then(() => true, () => false);
    check(phoneFits, "at phone width (390 px) nothing sticks out sideways");
    await new Promise((r) => setTimeout(r, 300));
    await p.screenshot({ path: path.join(out, "page-phone.png"), fullPage: true });

    // What the page loaded, with gzipped sizes.
    let total = 0, gzipped = 0;
    for (const name of [...new Set(loaded)].filter((n) => !n.startsWith("blob"))) {
        const file = path.join(site, name.endsWith("/") ? name + "index.html" : name);
        if (!fs.existsSync(file)) continue;
        const body = fs.readFileSync(file);
        const gz = zlib.gzipSync(body, { level: 9 }).length;
        total += body.length;
        gzipped += gz;
        console.log(`     ${String(body.length).padStart(8)} B ${String(gz).padStart(7)} B gzipped  ${name}`);
    }
    console.log(`     ${String(total).padStart(8)} B ${String(gzipped).padStart(7)} B gzipped  in all`);

    // Where the headers cannot be sent: one plain line, a fixed time, no "Move now", still a game.
    const q = await openPage(browser, `http://localhost:${plain.address().port}/`, 1280, 800);
    const notice = await q.evaluate(() => [crossOriginIsolated, document.getElementById("notice").hidden ? "" : document.getElementById("notice").textContent]);
    check(!notice[0] && notice[1].includes("not cross-origin isolated"), `without the headers the page says: "${notice[1]}"`);
    const other = new Chess();
    await play(q, other.move("d4"), false);
    check((await engineReply(q, other)) && (await inStep(q, other)), `without the headers the engine still answers: ${other.history().join(" ")}`);
    check(await q.evaluate(() => document.getElementById("move-now").disabled), `without the headers "Move now" is off`);
    await q.screenshot({ path: path.join(out, "page-not-isolated.png") });
} finally {
    await browser.close();
    server.close();
    plain.close();
}
console.log(`screenshots in ${out}`);
console.log(`browser: ${passes} passed, ${failures} failed`);
process.exit(failures === 0 ? 0 : 1);

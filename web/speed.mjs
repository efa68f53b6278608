// The bench's nodes/s in one run: the native program, the WebAssembly build under node, and the
// same build in a Web Worker in headless Chromium.
//   node web/speed.mjs NATIVE_BENCH WASM_DIR [DEPTH]
// All three must search the same nodes (the bench signature); the rates are compared with the
// native one.
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import { launchChromium } from "./chromium.mjs";
import { serve } from "./serve.mjs";

const [nativeBench, wasm, depth = "6"] = process.argv.slice(2);
const figures = (text) => ({
    nodes: Number(/Nodes searched: (\d+)/.exec(text)[1]),
    rate: Number(/Nodes\/second: (\d+)/.exec(text)[1]),
});

const results = [];
results.push(["native", figures(execFileSync(nativeBench, [depth], { encoding: "utf8" }))]);
const underNode = execFileSync("node", ["--no-experimental-fetch", `${wasm}/quillomar-bench.js`, depth], { encoding: "utf8" });
results.push(["WebAssembly, node " + process.version, figures(underNode)]);

fs.writeFileSync(`${wasm}/speed.html`, "<!doctype html><title>bench</title>\n");
const server = await serve(wasm, 0);
const browser = await launchChromium();
try {
    const page = await browser.newPage();
    await page.goto(`http://localhost:${server.address().port}/speed.html`);
    const text = await page.evaluate(
        (depth) =>
            new Promise((resolve) => {
                const lines = [];
                const code = `self.Module = { arguments: ["${depth}"], locateFile: (f) => "${location.origin}/" + f,
                    print: (l) => postMessage(l), onExit: () => postMessage(null) };
                    importScripts("${location.origin}/quillomar-bench.js");`;
                const worker = new Worker(URL.createObjectURL(new Blob([code])));
                worker.onmessage = (e) => (e.data === null ? resolve(lines.join("\n")) : lines.push(e.data));
            }),
        depth,
    );
    results.push([`WebAssembly, Chromium ${(await browser.version()).split("/")[1]}`, figures(text)]);
} finally {
    await browser.close();
    server.close();
}

const base = results[0][1];
for (const [where, { nodes, rate }] of results) {
    const share = ((100 * rate) / base.rate).toFixed(0);
    console.log(`${where.padEnd(40)} ${String(nodes).padStart(10)} nodes  ${String(rate).padStart(9)} nodes/s  ${share.padStart(3)} % of native`);
}
const same = results.every(([, r]) => r.nodes === base.nodes);
console.log(same ? `the same bench signature at depth ${depth} everywhere` : "FAIL: the bench signatures differ");
process.exit(same ? 0 : 1);

// A small static file server for the built page:
//   node web/serve.mjs [DIRECTORY] [PORT] [--not-isolated]
// Every answer carries the two headers that make the page cross-origin isolated (so that it may
// share memory with the engine's worker), and .wasm goes out as application/wasm. With
// --not-isolated the headers are left out, as on a host that cannot send them.
import http from "node:http";
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";

const TYPES = {
    ".html": "text/html; charset=utf-8",
    ".js": "text/javascript; charset=utf-8",
    ".mjs": "text/javascript; charset=utf-8",
    ".css": "text/css; charset=utf-8",
    ".wasm": "application/wasm",
    ".svg": "image/svg+xml",
    ".png": "image/png",
    ".json": "application/json",
    ".pgn": "application/x-chess-pgn",
};

export const ISOLATION_HEADERS = {
    "Cross-Origin-Opener-Policy": "same-origin",
    "Cross-Origin-Embedder-Policy": "require-corp",
};

// Starts serving `root` on 127.0.0.1:`port` (0: any free port); resolves to the server.
export function serve(root, port, { isolated = true } = {}) {
    const base = path.resolve(root);
    const server = http.createServer((request, response) => {
        const headers = isolated ? { ...ISOLATION_HEADERS } : {};
        let name = decodeURIComponent(new URL(request.url, "http://localhost").pathname);
        if (name.endsWith("/")) name += "index.html";
        const file = path.join(base, path.normalize(name));
        if (request.method !== "GET" && request.method !== "HEAD") {
            response.writeHead(405, headers).end();
            return;
        }
        fs.readFile(file, (error, body) => {
            if (error || !(file === base || file.startsWith(base + path.sep))) {
                response.writeHead(404, { ...headers, "Content-Type": "text/plain" }).end("not found\n");
                return;
            }
            headers["Content-Type"] = TYPES[path.extname(file)] || "text/plain; charset=utf-8";
            headers["Cache-Control"] = "no-cache";
            response.writeHead(200, headers).end(request.method === "HEAD" ? undefined : body);
        });
    });
    return new Promise((resolve, reject) => {
        server.once("error", reject);
        server.listen(port, "127.0.0.1", () => resolve(server));
    });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
    const args = process.argv.slice(2);
    const isolated = !args.includes("--not-isolated");
    const [root = "build-web", port = "8019"] = args.filter((a) => !a.startsWith("--"));
    const server = await serve(root, Number(port), { isolated });
    const address = `http://localhost:${server.address().port}/`;
    console.log(`Serving ${root}/ at ${address} (${isolated ? "cross-origin isolated" : "not isolated"}); Ctrl-C ends it.`);
}

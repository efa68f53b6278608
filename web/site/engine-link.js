// The page's end of the engine: UCI lines to the engine's worker, its lines back.
//
// Where the page is cross-origin isolated, one engine runs for the whole visit and reads a byte
// ring shared with this page, so "stop" reaches it while it thinks. Elsewhere there is no shared
// memory: every "go" starts a fresh run that reads the last position and the "go", answers and
// ends; such a search cannot be stopped, only abandoned with its worker.
export class EngineLink {
    constructor(onLine) {
        this.onLine = onLine;
        this.shared = globalThis.crossOriginIsolated === true && typeof SharedArrayBuffer === "function";
        this.position = "position startpos";
        this.start();
    }

    start() {
        this.worker = new Worker("engine-worker.js");
        this.worker.onmessage = (event) => {
            const { line, error } = event.data;
            if (line !== undefined) this.onLine(line);
            if (error !== undefined) console.error(`engine: ${error}`);
        };
        if (this.shared) {
            this.ring = globalThis.InputRing.create();
            this.worker.postMessage({ ring: this.ring.buffer });
            this.send("uci");
        }
    }

    // True when "stop" reaches a thinking engine.
    get canStop() {
        return this.shared;
    }

    send(line) {
        if (this.shared) {
            this.ring.write(line + "\n");
        } else if (line.startsWith("position ")) {
            this.position = line;
        } else if (line.startsWith("go")) {
            this.worker.postMessage({ text: `uci\n${this.position}\n${line}\n` });
        }
    }

    // Ends the current search without its answer: "stop" (its bestmove is for the caller to
    // drop), or, where "stop" cannot reach it, a new worker in place of the old.
    abandon() {
        if (this.shared) {
            this.send("stop");
            return true;
        }
        this.worker.terminate();
        this.start();
        return false;
    }
}

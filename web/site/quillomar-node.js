// The WebAssembly engine under node, with standard input and output like the native program:
// node quillomar-node.js. The engine runs in a worker thread and reads its input from a byte
// ring that this main thread fills from standard input as it arrives, so that the engine can
// look for input while it thinks without ever taking a pipe that has nothing yet for its end.
"use strict";

const fs = require("fs");
const path = require("path");
const { Worker, isMainThread, workerData } = require("worker_threads");
const InputRing = require("./input-ring.js");

// Writes all of `text` to a descriptor, also when it was made non-blocking and is full.
function writeAll(fd, text) {
    const bytes = Buffer.from(text);
    let done = 0;
    while (done < bytes.length) {
        try {
            done += fs.writeSync(fd, bytes, done);
        } catch (error) {
            if (error.code !== "EAGAIN") throw error;
            Atomics.wait(new Int32Array(new SharedArrayBuffer(4)), 0, 0, 1);
        }
    }
}

if (isMainThread) {
    const ring = InputRing.create();
    const worker = new Worker(__filename, { workerData: ring.buffer });
    process.stdin.on("data", (chunk) => {
        ring.write(new Uint8Array(chunk.buffer, chunk.byteOffset, chunk.length));
        // Hold standard input back while the engine has not taken what came before.
        if (ring.backlogged()) {
            process.stdin.pause();
            const resume = setInterval(() => {
                if (ring.backlogged()) return;
                clearInterval(resume);
                process.stdin.resume();
            }, 1);
        }
    });
    process.stdin.on("end", () => ring.close());
    process.stdin.on("error", () => ring.close());
    worker.on("error", (error) => {
        writeAll(2, `${error && error.stack ? error.stack : error}\n`);
        process.exit(1);
    });
    worker.on("exit", (code) => process.exit(code));
} else {
    const ring = new InputRing(workerData);
    require("./quillomar.js")({
        wasmBinary: fs.readFileSync(path.join(__dirname, "quillomar.wasm")),
        readInput: (view, wait) => ring.read(view, wait),
        print: (line) => writeAll(1, line + "\n"),
        printErr: (line) => writeAll(2, line + "\n"),
    });
}

// The engine in the page's Web Worker. One message starts an engine:
//   {ring: SharedArrayBuffer}  it reads that byte ring for as long as it runs, so "stop",
//                              "isready" and "quit" reach it while it thinks;
//   {text: "..."}              it reads these lines, then its input ends (a page that is not
//                              cross-origin isolated has no shared memory: one run a move).
// The worker posts {line} for every line the engine writes and {exit: status} when it ends.
importScripts("input-ring.js", "quillomar.js");

let compiled = null; // the engine's compiled code, kept for the next run

function textInput(text) {
    const bytes = new TextEncoder().encode(text);
    let next = 0;
    return (view, wait) => {
        if (next === bytes.length) return wait ? -1 : 0;
        const n = Math.min(view.length, bytes.length - next);
        view.set(bytes.subarray(next, next + n));
        next += n;
        return n;
    };
}

onmessage = (event) => {
    const { ring, text } = event.data;
    const readInput = ring ? ((r) => (view, wait) => r.read(view, wait))(new InputRing(ring)) : textInput(text);
    compiled =
        compiled ||
        fetch("quillomar.wasm")
            .then((response) => response.arrayBuffer())
            .then((bytes) => WebAssembly.compile(bytes));
    QuillomarEngine({
        readInput,
        print: (line) => postMessage({ line }),
        printErr: (line) => postMessage({ error: line }),
        onExit: (status) => postMessage({ exit: status }),
        instantiateWasm(imports, receive) {
            compiled
                .then((module) => WebAssembly.instantiate(module, imports))
                .then((instance) => receive(instance))
                .catch((error) => postMessage({ error: String(error), exit: 1 }));
            return {};
        },
    });
};

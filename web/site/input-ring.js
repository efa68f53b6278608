// The engine's input as a byte ring in a SharedArrayBuffer: one thread writes the bytes it
// receives (the page, or the node launcher), the engine's worker reads them, waiting with
// Atomics.wait when it has to and only looking when it thinks. A plain script, so that the
// page, a classic worker and node can all load it.
(function (root) {
    "use strict";

    const WRITTEN = 0; // bytes written so far (wrapping at 2^32)
    const READ = 1; // bytes read so far (wrapping at 2^32)
    const CLOSED = 2; // 1 once the writer has ended the input
    const CHANGES = 3; // bumped at every write and at the end: what a waiting reader waits on
    const HEADER_BYTES = 16;

    class InputRing {
        // A new ring holding up to `capacity` bytes (a power of two).
        static create(capacity = 1 << 16) {
            return new InputRing(new SharedArrayBuffer(HEADER_BYTES + capacity));
        }

        // The same ring in another thread, from its buffer.
        constructor(buffer) {
            this.buffer = buffer;
            this.header = new Int32Array(buffer, 0, 4);
            this.bytes = new Uint8Array(buffer, HEADER_BYTES);
            this.mask = this.bytes.length - 1;
            this.pending = []; // bytes the ring had no room for yet, oldest first
            this.closing = false;
        }

        // Writer: queues text or bytes; what does not fit now goes in as the reader makes room.
        write(data) {
            const chunk = typeof data === "string" ? new TextEncoder().encode(data) : data;
            if (chunk.length > 0) this.pending.push(chunk);
            this.pump();
        }

        // Writer: the input ends after what was written.
        close() {
            this.closing = true;
            this.pump();
        }

        // Writer: true while written bytes still wait for room in the ring.
        backlogged() {
            return this.pending.length > 0;
        }

        pump() {
            const h = this.header;
            while (this.pending.length > 0) {
                const chunk = this.pending[0];
                const written = Atomics.load(h, WRITTEN);
                const free = this.bytes.length - ((written - Atomics.load(h, READ)) >>> 0);
                const n = Math.min(free, chunk.length);
                for (let i = 0; i < n; ++i) this.bytes[(written + i) & this.mask] = chunk[i];
                if (n > 0) {
                    Atomics.store(h, WRITTEN, (written + n) | 0);
                    Atomics.add(h, CHANGES, 1);
                    Atomics.notify(h, CHANGES);
                }
                if (n < chunk.length) {
                    this.pending[0] = chunk.subarray(n);
                    // The reader makes room as it goes: look again shortly.
                    if (!this.retry) this.retry = setTimeout(() => ((this.retry = null), this.pump()), 1);
                    return;
                }
                this.pending.shift();
            }
            if (this.closing && Atomics.load(h, CLOSED) === 0) {
                Atomics.store(h, CLOSED, 1);
                Atomics.add(h, CHANGES, 1);
                Atomics.notify(h, CHANGES);
            }
        }

        // Reader: copies bytes that have arrived into `view`, returns their count; 0 when none
        // has arrived (only without `wait`), -1 once the input has ended and all was read.
        read(view, wait) {
            const h = this.header;
            for (;;) {
                const changes = Atomics.load(h, CHANGES);
                const read = Atomics.load(h, READ);
                const available = (Atomics.load(h, WRITTEN) - read) >>> 0;
                if (available > 0) {
                    const n = Math.min(available, view.length);
                    for (let i = 0; i < n; ++i) view[i] = this.bytes[(read + i) & this.mask];
                    Atomics.store(h, READ, (read + n) | 0);
                    return n;
                }
                if (Atomics.load(h, CLOSED) === 1) return -1;
                if (!wait) return 0;
                Atomics.wait(h, CHANGES, changes);
            }
        }
    }

    if (typeof module === "object" && module.exports) module.exports = InputRing;
    else root.InputRing = InputRing;
})(typeof self !== "undefined" ? self : globalThis);

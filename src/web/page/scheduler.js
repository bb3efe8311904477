// The look-ahead scheduler: the page's stand-in for the desktop program's MIDI
// stream. A tick every 25 ms runs the play steps whose buffers fall due
// within the look-ahead, and each buffer's messages go to the MIDI output at
// once, stamped with the time the synthesizer is to get them. A buffer is
// due its delta time after the buffer before it, exactly as a stream plays
// its events, so a song's times are absolute from its start: a tick that
// comes late (a busy page, a throttled timer) delays nothing that was sent
// already, and the buffers it then sends late keep their own times, so the
// schedule catches up without drifting.
//
// Web MIDI cannot take back a message once sent. So a stop is scheduled after
// the last buffer already sent, and nothing is scheduled after it.

import { sysexMessages } from './core.js';

export const tickMs = 25;
export const lookAheadMs = 100;
// A hidden tab's timers may be slowed to one a second; the worker's are not,
// but a longer reach while hidden costs nothing and rides out a late tick.
export const hiddenLookAheadMs = 500;

// A tune at 1000 Hz and 200 % speed queues buffers 0 ms apart; a tick stops
// after this many steps so that it always hands the page back.
const maxStepsPerTick = 1000;

export class Scheduler {
    // send(message, timestamp): one SysEx message to the output; it may throw.
    // onBuffer(due, buffer): each buffer as scheduled, for the voice view.
    constructor({ send, onBuffer = () => {}, now = () => performance.now() }) {
        this.send = send;
        this.onBuffer = onBuffer;
        this.now = now;
        this.lookAheadMs = lookAheadMs;
        // Due time of the last buffer scheduled; nothing was scheduled yet.
        this.lastDue = -Infinity;
    }

    // Buffers that begin a song or resume one: from now at the earliest, and
    // never before a buffer already sent.
    begin(buffers) {
        this.lastDue = Math.max(this.lastDue, this.now());
        this.follow(buffers);
    }

    // Buffers that follow those already sent, each its delta time after the
    // one before, whatever the time is now.
    follow(buffers) {
        for (const buffer of buffers) {
            const due = this.lastDue + buffer.deltaMs;
            this.lastDue = due;
            for (const message of sysexMessages(buffer.bytes)) this.send(message, due);
            this.onBuffer(due, buffer);
        }
    }

    // Runs step() while playing() holds and the last buffer scheduled falls
    // due within the look-ahead; returns the number of steps run.
    fill(step, playing) {
        const horizon = this.now() + this.lookAheadMs;
        let steps = 0;
        while (playing() && this.lastDue < horizon && steps < maxStepsPerTick) {
            this.follow(step());
            steps++;
        }
        return steps;
    }
}

// Calls tick every tickMs from a worker's timer, which a browser does not
// slow down in a background tab as it does the page's own timers. Where no
// worker can start (a page opened from a file), the page's timer does it.
export class Ticker {
    constructor(tick, workerUrl = new URL('./tick_worker.js', import.meta.url)) {
        this.tick = tick;
        try {
            this.worker = new Worker(workerUrl);
            this.worker.onmessage = () => this.tick();
            this.worker.onerror = () => this.useOwnTimer();
            this.worker.postMessage({ intervalMs: tickMs });
        } catch {
            this.useOwnTimer();
        }
    }

    get inWorker() {
        return this.worker !== undefined;
    }

    useOwnTimer() {
        this.worker?.terminate();
        this.worker = undefined;
        if (this.timer === undefined) this.timer = setInterval(() => this.tick(), tickMs);
    }
}

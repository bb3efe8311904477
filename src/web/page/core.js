// The player's core, compiled to WebAssembly, behind plain JavaScript calls.
// The module imports nothing and exports the C API of src/web/web_api.h; this
// file copies bytes in and out of its memory and names nothing else. It runs
// in the page and under Node alike (the tests load the same module).

// The header's texts are bytes as the tune's author typed them on a C64 or a
// PC; shown as Latin-1, each byte stays one character.
const headerText = new TextDecoder('latin1');
const plainText = new TextDecoder('utf-8');

const sidRegisterCount = 25;

// zarvel_load's results: a tune that loaded (LOAD_OK), and the one whose
// words the page shows for a file it cannot read (LOAD_CANNOT_OPEN).
export const loadOk = 1;
export const loadCannotOpen = 2;

// The module's one import: the C library's way out of an impossible state
// (a string that outgrows memory, say), which it never takes in play. Taken,
// it ends the call that took it with an error the page can report.
const imports = {
    wasi_snapshot_preview1: {
        proc_exit: (code) => {
            throw new Error(`the player's core stopped (exit ${code})`);
        },
    },
};

// source: the module's URL (the page) or its bytes (Node, tests).
export async function loadCore(source) {
    let instance;
    if (source instanceof URL || typeof source === 'string') {
        const response = await fetch(source);
        if (!response.ok) throw new Error(`${source}: ${response.status} ${response.statusText}`);
        try {
            ({ instance } = await WebAssembly.instantiateStreaming(response.clone(), imports));
        } catch {
            // A server that does not call the module application/wasm.
            ({ instance } = await WebAssembly.instantiate(await response.arrayBuffer(), imports));
        }
    } else {
        ({ instance } = await WebAssembly.instantiate(source, imports));
    }
    return new ZarvelCore(instance.exports);
}

export class ZarvelCore {
    constructor(exports) {
        this.api = exports;
        // Runs the core's static constructors: the player's start values.
        this.api._initialize();
    }

    get memory() {
        return new Uint8Array(this.api.memory.buffer);
    }

    cString(pointer, decoder = plainText) {
        const memory = this.memory;
        let end = pointer;
        while (memory[end] !== 0) end++;
        return decoder.decode(memory.subarray(pointer, end));
    }

    // Loads a tune from the file's bytes: { result, message, buffers }, the
    // buffers being the mute frames of a tune that was playing. A file longer
    // than the core reads is cut where the core would stop reading anyway.
    load(bytes) {
        const area = this.api.zarvel_tune_area();
        const length = Math.min(bytes.length, this.api.zarvel_tune_area_size());
        this.memory.set(bytes.subarray(0, length), area);
        const result = this.api.zarvel_load(length);
        const buffers = this.readBuffers();
        return { result, message: this.loadMessage(result), buffers };
    }

    loadMessage(result) {
        return this.cString(this.api.zarvel_load_message(result));
    }

    get version() {
        return this.cString(this.api.zarvel_version());
    }

    get tune() {
        const api = this.api;
        return {
            name: this.cString(api.zarvel_tune_name(), headerText),
            author: this.cString(api.zarvel_tune_author(), headerText),
            released: this.cString(api.zarvel_tune_released(), headerText),
            songs: api.zarvel_songs(),
            startSong: api.zarvel_start_song(),
        };
    }

    setSong(song) { this.api.zarvel_set_song(song); }
    get currentSong() { return this.api.zarvel_current_song(); }
    setSpeed(percent) { this.api.zarvel_set_speed(percent); }
    setFilter(percent) { this.api.zarvel_set_filter(percent); }
    setVoice(voice, on) { this.api.zarvel_set_voice(voice, on ? 1 : 0); }
    // 'off' or 'frames': a tune's second and third SID (zarvel_set_extra_sids).
    setExtraSids(mode) { this.api.zarvel_set_extra_sids(mode === 'frames' ? 1 : 0); }
    setChangesOnly(on) { this.api.zarvel_set_changes_only(on ? 1 : 0); }
    // The song ends by itself at ms of tune time; 0: not known (zarvel_set_song_length).
    setSongLength(ms) { this.api.zarvel_set_song_length(Math.max(0, Math.round(ms))); }
    get songEnded() { return this.api.zarvel_song_ended() !== 0; }
    get songTimeMs() { return this.api.zarvel_song_time_ms(); }
    get extraSidsText() { return this.cString(this.api.zarvel_extra_sids_text()); }
    get tuneMd5() { return this.cString(this.api.zarvel_tune_md5()); }
    get rateLabelHz() { return this.api.zarvel_rate_label_hz(); }
    get playing() { return this.api.zarvel_playing() !== 0; }
    // Why playback stopped by itself, or '' (zarvel_stop_text).
    get stopText() { return this.cString(this.api.zarvel_stop_text()); }
    // The samples notice, once after the step that found it out, or ''.
    takeSamplesNotice() { return this.cString(this.api.zarvel_samples_notice()); }
    get paused() { return this.api.zarvel_paused() !== 0; }

    // Each returns the buffers the call queued, in stream order:
    // { bytes, deltaMs, registers }, copied out of the module's memory.
    start() { this.api.zarvel_start(); return this.readBuffers(); }
    step() { this.api.zarvel_step(); return this.readBuffers(); }
    stop(pause = false) { this.api.zarvel_stop(pause ? 1 : 0); return this.readBuffers(); }
    resume() { this.api.zarvel_resume(); return this.readBuffers(); }
    seek(ms) { this.api.zarvel_seek(Math.max(0, Math.round(ms))); return this.readBuffers(); }

    readBuffers() {
        const api = this.api;
        const buffers = [];
        const count = api.zarvel_buffer_count();
        for (let i = 0; i < count; i++) {
            const memory = this.memory;
            const start = api.zarvel_buffer_bytes(i);
            const registers = api.zarvel_buffer_registers(i);
            buffers.push({
                bytes: memory.slice(start, start + api.zarvel_buffer_length(i)),
                deltaMs: api.zarvel_buffer_delta_ms(i),
                registers: memory.slice(registers, registers + sidRegisterCount),
            });
        }
        return buffers;
    }

    noteName(frequencyRegister) { return this.cString(this.api.zarvel_note_name(frequencyRegister)); }
    waveformName(control) { return this.cString(this.api.zarvel_waveform_name(control)); }
    filterModeName(modeVolume) { return this.cString(this.api.zarvel_filter_mode_name(modeVolume)); }
}

// The SysEx messages of one buffer, each F0 ... F7; the core appends only
// whole messages, so a buffer is zero or more of them back to back.
export function sysexMessages(bytes) {
    const messages = [];
    let start = -1;
    for (let i = 0; i < bytes.length; i++) {
        if (bytes[i] === 0xf0) start = i;
        else if (bytes[i] === 0xf7 && start >= 0) {
            messages.push(bytes.subarray(start, i + 1));
            start = -1;
        }
    }
    return messages;
}

// What the web tests share: where things are, the CLI's dump as the stream's
// truth, and the core module loaded under Node.
import { spawnSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { dirname, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

export const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
export const site = resolve(root, 'build/web/site');
export const tunes = resolve(root, 'tests/tunes');
export const zarvelCli = process.env.ZARVEL_CLI ?? resolve(root, 'build/release/src/cli/zarvel-cli');

export function tunePath(name) {
    return resolve(tunes, name);
}

// One buffer as dump prints it: the delta time, then each byte in hex.
export function bufferLine(buffer) {
    return [buffer.deltaMs, ...Array.from(buffer.bytes, hex)].join(' ');
}

export function hex(byte) {
    return byte.toString(16).toUpperCase().padStart(2, '0');
}

// `zarvel-cli dump` of the first count buffers: { lines, stderr, status }.
export function dump(tune, count, { song, speed, filter, voices, start } = {}) {
    const args = ['dump', tunePath(tune), '--buffers', String(count)];
    if (song !== undefined) args.push('--song', String(song));
    if (speed !== undefined) args.push('--speed', String(speed));
    if (filter !== undefined) args.push('--filter', String(filter));
    if (voices !== undefined) args.push('--voices', voices);
    if (start !== undefined) args.push('--start', start);
    const run = spawnSync(zarvelCli, args, { encoding: 'utf8' });
    if (run.error) throw run.error;
    return { lines: run.stdout.trimEnd().split('\n'), stderr: run.stderr, status: run.status };
}

// The lines of a dump that ran to its end.
export function dumpLines(tune, count, options) {
    const { lines, stderr, status } = dump(tune, count, options);
    if (status !== 0) throw new Error(`zarvel-cli dump ${tune} ended ${status}: ${stderr}`);
    return lines;
}

// A dump line as { deltaMs, messages }, each message its bytes in hex.
export function parseLine(line) {
    const [delta, ...bytes] = line.split(' ');
    const messages = [];
    let message = [];
    for (const byte of bytes) {
        message.push(byte);
        if (byte === 'F7') {
            messages.push(message.join(' '));
            message = [];
        }
    }
    return { deltaMs: Number(delta), messages };
}

export async function loadTestCore() {
    const { loadCore } = await import(resolve(site, 'core.js'));
    return loadCore(readFileSync(resolve(site, 'zarvel_core.wasm')));
}

// What the web tests share: where things are, the CLI's dump as the stream's
// truth, and the core module loaded under Node.
import { execFileSync } from 'node:child_process';
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

// The first count buffers `zarvel-cli dump` gives, as lines.
export function dumpLines(tune, count, { song, speed, filter, voices } = {}) {
    const args = ['dump', tunePath(tune), '--buffers', String(count)];
    if (song !== undefined) args.push('--song', String(song));
    if (speed !== undefined) args.push('--speed', String(speed));
    if (filter !== undefined) args.push('--filter', String(filter));
    if (voices !== undefined) args.push('--voices', voices);
    return execFileSync(zarvelCli, args, { encoding: 'utf8' }).trimEnd().split('\n');
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

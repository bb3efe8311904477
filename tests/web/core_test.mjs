// The core's C API under Node: the buffers the page schedules are the ones
// `zarvel-cli dump` gives for the same tune and settings, byte for byte and
// delta time for delta time, and pause, resume, stop and song change give
// the desktop player's frames.
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import { readFileSync } from 'node:fs';
import { spawnSync } from 'node:child_process';
import { resolve } from 'node:path';
import { test } from 'node:test';

import { bufferLine, dump, dumpLines, loadTestCore, site, tunePath, zarvelCli } from './support.mjs';

const muteBuffer = 'F0 2D 4E 00 00 00 01 00 00 00 00 00 F7 F0 2D 4E 00 00 00 01 00 00 00 00 00 F7';

async function coreWith(tune, { song, speed, filter, voices } = {}) {
    const core = await loadTestCore();
    const { result } = core.load(readFileSync(tunePath(tune)));
    assert.equal(result, 1, `${tune} loads`);
    if (speed !== undefined) core.setSpeed(speed);
    if (filter !== undefined) core.setFilter(filter);
    if (voices !== undefined) [...voices].forEach((on, voice) => core.setVoice(voice, on === '1'));
    if (song !== undefined) core.setSong(song);
    return core;
}

// The start's buffer, then one step's buffers at a time, as lines.
function playLines(core, count) {
    const lines = core.start().map(bufferLine);
    while (lines.length < count) lines.push(...core.step().map(bufferLine));
    return lines.slice(0, count);
}

const cases = [
    { tune: 'melody.sid', buffers: 400 },
    { tune: 'melody_v2.sid', buffers: 100 },
    { tune: 'multisong.sid', buffers: 200 },
    ...[1, 3, 4].map((song) => ({ tune: 'multisong.sid', buffers: 150, options: { song } })),
    { tune: 'irq_vector.sid', buffers: 60 },
    { tune: 'irq_rti.sid', buffers: 600 },
    { tune: 'demo.sid', buffers: 500 },
    { tune: 'demo.sid', buffers: 300, options: { speed: 150, filter: 50, voices: '101' } },
    { tune: 'demo.sid', buffers: 200, options: { speed: 20, filter: 200, voices: '010' } },
    { tune: 'multisong.sid', buffers: 200, options: { song: 1, speed: 200, filter: 37 } },
];

test('every test tune plays the buffers dump gives, with their delta times', async (t) => {
    for (const { tune, buffers, options } of cases) {
        await t.test(`${tune} ${JSON.stringify(options ?? {})}`, async () => {
            const core = await coreWith(tune, options);
            assert.deepEqual(playLines(core, buffers), dumpLines(tune, buffers, options));
        });
    }
});

test('a play call that never returns stops playback with the mute frames in the same step, told as dump tells it', async () => {
    const core = await coreWith('hang.sid');
    const lines = core.start().map(bufferLine);
    while (core.playing) lines.push(...core.step().map(bufferLine));
    assert.equal(lines.at(-1), `20 ${muteBuffer}`);
    const cli = dump('hang.sid', 100);
    assert.deepEqual(lines, cli.lines.slice(0, lines.length));
    assert.match(core.stopText, /^the play routine did not return at \d+\.\d{3} s: playback stopped$/);
    // The core has bytes, not a file: dump names the file it read, the same words otherwise.
    const named = core.stopText.replace('the play routine', `the play routine of ${tunePath('hang.sid')}`);
    assert.equal(cli.stderr, `zarvel-cli: ${named}\n`);
    assert.deepEqual(core.step().map(bufferLine), ['20'], 'afterwards only empty periods, no frame');
    core.start();
    assert.equal(core.stopText, '', 'a start clears it');
});

test('a file longer than a header and 64 KB plays as its first bytes do', async () => {
    const core = await loadTestCore();
    const melody = readFileSync(tunePath('melody.sid'));
    const long = new Uint8Array(melody.length + 200000);
    long.set(melody);
    assert.equal(core.load(long).result, 1);
    assert.deepEqual(playLines(core, 80), dumpLines('melody.sid', 80));
});

test('a load while playing mutes the tune it replaces; a failed one leaves nothing to play', async () => {
    const core = await coreWith('melody.sid');
    playLines(core, 30);
    const { result, buffers } = core.load(readFileSync(tunePath('mus.sid')));
    assert.equal(result, 4);
    assert.equal(bufferLine(buffers.at(-1)), `20 ${muteBuffer}`);
    assert.equal(core.playing, false);
});

test('load failures give the load command words, and no tune plays', async () => {
    const core = await loadTestCore();
    const cases = [
        [readFileSync(tunePath('melody.s')), 3, 'not a PSID file: it does not begin with "PSID" or "RSID"'],
        [readFileSync(tunePath('melody.sid')).subarray(0, 100), 3, 'not a PSID file: the file ends inside its header'],
        [readFileSync(tunePath('mus.sid')), 4, 'not a playable tune: the file holds Sidplayer MUS data, not 6502 code'],
    ];
    for (const [bytes, result, message] of cases) {
        const loaded = core.load(bytes);
        assert.deepEqual([loaded.result, loaded.message], [result, message]);
        assert.deepEqual(core.start(), [], 'Play without a tune does nothing');
        assert.equal(core.playing, false);
    }
});

// Dump's buffers are B1 (reset frame and name), B2 (empty), B3 (the init's
// frame), then B(3+k) with the frame of play call k. After s steps the page
// has B1..B(s+1), B(s+2) is being filled and call s has run. Delta times
// follow the buffer's place in the stream, the leftover carried across the
// pause (60 Hz gives 16, 17, 17, ...), so each is taken from dump's line at
// the same place.
test('pause sends the buffer being filled and the mute frames; resume the restore frame, twice, and the tune goes on', async () => {
    const cases = [
        { tune: 'melody.sid', volume: '0F' },
        { tune: 'demo.sid', volume: '1F' },
        { tune: 'multisong.sid', options: { song: 1 }, volume: '1F' },
    ];
    for (const { tune, options, volume } of cases) {
        const dump = dumpLines(tune, 90, options);
        const delta = (place) => dump[place - 1].split(' ')[0];
        const bytes = (line) => line.split(' ').slice(1).join(' ');
        const core = await coreWith(tune, options);
        const s = 40;
        assert.deepEqual(playLines(core, s + 1), dump.slice(0, s + 1));

        assert.deepEqual(core.stop(true).map(bufferLine), [dump[s + 1], `${delta(s + 3)} ${muteBuffer}`]);
        assert.deepEqual([core.playing, core.paused], [false, true]);

        const restore = `F0 2D 4E 00 00 00 01 00 00 00 00 ${volume} F7`;
        const resumed = core.resume().map(bufferLine);
        for (let i = 0; i < 2 + 30; i++) resumed.push(...core.step().map(bufferLine));
        // Call s's writes were never encoded: dump's B(s+3) is skipped.
        const frames = dump.slice(s + 3, s + 3 + 30).map((line, j) => `${delta(s + 7 + j)} ${bytes(line)}`.trimEnd());
        assert.deepEqual(resumed, [`${delta(s + 4)} ${restore}`, delta(s + 5), `${delta(s + 6)} ${restore}`, ...frames]);
    }
});

test('stop mutes; Stop after a pause does nothing, and Play after Stop starts afresh', async () => {
    const dump = dumpLines('melody.sid', 60);
    const core = await coreWith('melody.sid');
    playLines(core, 21);
    assert.deepEqual(core.stop(true).map(bufferLine)[1], `20 ${muteBuffer}`);
    assert.deepEqual(core.stop(false), [], 'Stop while paused');
    assert.equal(core.paused, true, 'a pause outlives Stop, so Play resumes');

    assert.equal(core.resume().length, 1);
    for (let i = 0; i < 5; i++) core.step();
    assert.deepEqual(core.stop(false).map(bufferLine)[1], `20 ${muteBuffer}`);
    assert.deepEqual([core.playing, core.paused], [false, false]);
    assert.deepEqual(core.resume(), [], 'nothing to resume after Stop');
    assert.deepEqual(playLines(core, 60), dump);
});

test('a song change while playing mutes, then starts the new song from its init', async () => {
    const core = await coreWith('multisong.sid');
    playLines(core, 30);
    core.setSong(3);
    assert.deepEqual(core.stop(false).map(bufferLine)[1], `20 ${muteBuffer}`);
    assert.deepEqual(playLines(core, 100), dumpLines('multisong.sid', 100, { song: 3 }));
});

test('speed, filter and voice changes count from the next buffer and the next frame', async () => {
    const core = await coreWith('demo.sid');
    playLines(core, 10);
    core.setSpeed(200);
    core.setFilter(20);
    core.setVoice(1, false);
    const after = core.step().concat(core.step());
    assert.deepEqual(after.map((buffer) => buffer.deltaMs), [10, 10]);
    assert.equal(core.rateLabelHz, 100);
    // Voice 2 switched off: its frequency goes out as 0 in every frame
    // encoded after the change (the first step queued the one before it).
    assert.deepEqual([after[1].registers[7], after[1].registers[8]], [0, 0]);
    assert.notEqual(after[0].registers[8], 0, 'voice 2 sounded before');
    core.setSpeed(5);
    assert.equal(core.rateLabelHz, 10, 'the speed is held to 20..200 %');
    core.setSpeed(999);
    assert.equal(core.rateLabelHz, 100);
});

test('each buffer carries the registers a synthesizer holds once it has played', async () => {
    const core = await coreWith('melody.sid');
    const buffers = [];
    buffers.push(...core.start());
    while (buffers.length < 5) buffers.push(...core.step());
    // After play call 1's frame (B4): C4 ($1167) with the pulse gate on, volume 15.
    const registers = buffers[3].registers;
    assert.deepEqual([registers[0], registers[1], registers[4], registers[24]], [0x67, 0x11, 0x41, 0x0f]);
    assert.equal(core.noteName(registers[0] | (registers[1] << 8)), 'C4');
    assert.equal(core.waveformName(registers[4]), 'pulse');
    assert.equal(core.filterModeName(0x1f), 'low-pass');
    assert.match(core.version, /^\d+\.\d+\.\d+$/);
    assert.deepEqual(core.tune, {
        name: 'Zarvel Melody',
        author: 'Zarvel developers',
        released: '2026 Osket',
        songs: 1,
        startSong: 1,
    });
});

// The whole-state frame: the mask bits of registers 0-20 all set.
const stateFrame = /F0 2D 4E 7F 7F 7F [0-9A-F ]*? F7/;

test('a seek lands on the frame and the stream that dump --start gives, forward and back', async (t) => {
    // Expected: dump --start, which seeks as the song starts; the stream after
    // the state frame is the same wherever the song stood before the seek.
    const cases = [
        { tune: 'demo.sid', playedSteps: 100, start: '0:10', targetMs: 10000 },
        { tune: 'demo.sid', playedSteps: 700, start: '0:10', targetMs: 10000 },
        { tune: 'melody.sid', playedSteps: 50, start: '0:04.500', targetMs: 4500 },
    ];
    const after = 40;
    for (const { tune, playedSteps, start, targetMs } of cases) {
        await t.test(`${tune} from step ${playedSteps} to ${start}`, async () => {
            const cli = dumpLines(tune, 2 + after, { start });
            const core = await coreWith(tune);
            const before = core.start().map(bufferLine);
            while (before.length < playedSteps) before.push(...core.step().map(bufferLine));
            assert.deepEqual(core.seek(targetMs), []);
            const lines = core.step().map(bufferLine);
            while (lines.length < 1 + after) lines.push(...core.step().map(bufferLine));
            assert.equal(lines[0].match(stateFrame)?.[0], cli[1].match(stateFrame)[0]);
            // A 19.950 ms PAL period gives 19 or 20 ms by the buffer's place
            // in the stream, and the seek does not restart the stream: each
            // delta is plain dump's at the same place, the bytes dump --start's.
            const plain = dumpLines(tune, before.length + 1 + after);
            const delta = (line) => line.split(' ')[0];
            const bytes = (line) => line.split(' ').slice(1).join(' ');
            const expected = cli.slice(2, 2 + after).map((line, i) =>
                `${delta(plain[before.length + 1 + i])} ${bytes(line)}`.trimEnd());
            assert.deepEqual(lines.slice(1, 1 + after), expected);
        });
    }
});

test('a known length ends the song with the mute frames, and so does a seek past it', async () => {
    const core = await coreWith('demo.sid');
    core.setSongLength(1000);
    const lines = core.start().map(bufferLine);
    while (core.playing) lines.push(...core.step().map(bufferLine));
    // A PAL call is 19,656 cycles, 19.950 ms: 50 calls reach 997.5 ms, short
    // of 1 s, the 51st 1017.45 ms; the step that would run the 52nd mutes.
    assert.equal(core.songTimeMs, 1017);
    assert.equal(core.songEnded, true);
    assert.equal(lines.at(-1), `20 ${muteBuffer}`);
    assert.deepEqual(lines.slice(0, -1), dumpLines('demo.sid', lines.length - 1));

    core.setSongLength(5000);
    core.start();
    assert.equal(core.songEnded, false);
    assert.equal(core.seek(6000).map(bufferLine).at(-1), `20 ${muteBuffer}`);
    assert.equal(core.songEnded, true);
    assert.equal(core.playing, false);
});

test('the tune key is the whole file MD5', async () => {
    const bytes = readFileSync(tunePath('multisong.sid'));
    const core = await coreWith('multisong.sid');
    // node's own MD5 of the same bytes
    assert.equal(core.tuneMd5, createHash('md5').update(bytes).digest('hex'));
});

test('the stream figures the page warns by are the ones info gives', async () => {
    const { measureStream } = await import(resolve(site, 'link_budget.js'));
    // Expected: zarvel-cli info --json, stream_bytes_per_s of each song.
    const cases = [
        { tune: 'demo.sid', song: 1, extraSids: 'off' },
        { tune: 'two_sids.sid', song: 1, extraSids: 'frames' },
        { tune: 'multisong.sid', song: 3, extraSids: 'off' },
    ];
    for (const { tune, song, extraSids } of cases) {
        const run = spawnSync(zarvelCli, ['info', '--json', '--extra-sids', extraSids, tunePath(tune)], { encoding: 'utf8' });
        const info = JSON.parse(run.stdout).song_list[song - 1].stream_bytes_per_s;
        const budget = await measureStream(loadTestCore, readFileSync(tunePath(tune)), song, extraSids);
        const got = {
            mean: Math.round(budget.sent.mean), peak: Math.round(budget.sent.peak),
            changes_only_mean: Math.round(budget.changesOnly.mean), changes_only_peak: Math.round(budget.changesOnly.peak),
        };
        assert.deepEqual(got, info, `${tune} song ${song}`);
    }
});

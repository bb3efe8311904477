// The page in the system's headless Chromium, with a recording stand-in for
// Web MIDI installed before the page's scripts run. What it records, each
// message with its timestamp, is checked against `zarvel-cli dump`: the same
// messages in the same order, each stamped within 1 ms of the time the
// stream would play it.
import assert from 'node:assert/strict';
import { createHash } from 'node:crypto';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import puppeteer from 'puppeteer-core';

import { serveDirectory } from '../../scripts/web_server.mjs';
import { dump, dumpLines, parseLine, root, site, tunePath } from './support.mjs';

const output = resolve(root, 'build/web-test');
const mute = 'F0 2D 4E 00 00 00 01 00 00 00 00 00 F7';
const restoreVolume15 = 'F0 2D 4E 00 00 00 01 00 00 00 00 0F F7';

let browser;
let server;
let address;
let profile;
const largest = { timestampErrorMs: 0, lateSendMs: 0 };

before(async () => {
    server = await serveDirectory(site, 0);
    address = `http://127.0.0.1:${server.address().port}/`;
    profile = mkdtempSync(join(tmpdir(), 'zarvel-chromium-'));
    browser = await puppeteer.launch({
        executablePath: '/usr/bin/chromium',
        headless: true,
        args: [
            '--no-sandbox',
            '--disable-gpu',
            '--disable-quic',
            '--no-first-run',
            '--disable-background-networking',
            '--disable-component-update',
            '--disable-sync',
            `--user-data-dir=${profile}`,
        ],
    });
});

after(async () => {
    await browser?.close();
    server?.close();
    if (profile) rmSync(profile, { recursive: true, force: true });
    console.log(
        `largest timestamp error ${largest.timestampErrorMs.toFixed(3)} ms; ` +
            `latest send after its timestamp ${largest.lateSendMs.toFixed(1)} ms (the blocked page)`,
    );
});

// Runs in the page before its scripts: Web MIDI with one output that records
// every send, one that refuses access, or none at all.
function installMidi(mode) {
    window.recorded = [];
    window.midiRequests = [];
    let request;
    if (mode === 'absent') {
        request = undefined;
    } else if (mode === 'refuse') {
        request = async (options) => {
            window.midiRequests.push(options);
            throw new DOMException('Permission denied', 'NotAllowedError');
        };
    } else {
        const synth = {
            id: 'recorder',
            name: 'Recording synthesizer',
            state: 'connected',
            send(data, timestamp) {
                const bytes = Array.from(data, (b) => b.toString(16).toUpperCase().padStart(2, '0')).join(' ');
                window.recorded.push({ timestamp, sentAt: performance.now(), bytes });
            },
        };
        request = async (options) => {
            window.midiRequests.push(options);
            return { inputs: new Map(), outputs: new Map([[synth.id, synth]]), sysexEnabled: true, onstatechange: null };
        };
    }
    Object.defineProperty(Navigator.prototype, 'requestMIDIAccess', { value: request, configurable: true });
}

async function openPage(midi = 'record') {
    const page = await browser.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    page.errors = errors;
    await page.evaluateOnNewDocument(installMidi, midi);
    await page.goto(address);
    await page.waitForSelector('body[data-ready=true]');
    return page;
}

async function connect(page) {
    await page.click('#connect');
    await page.waitForFunction(() => !document.getElementById('output').disabled);
}

// Opens a file through the Open button and waits until the page has taken it.
async function openTune(page, file) {
    const opened = await page.evaluate(() => Number(document.body.dataset.opened ?? 0));
    const input = await page.$('#file');
    await input.uploadFile(file);
    await page.waitForFunction((n) => Number(document.body.dataset.opened) > n, {}, opened);
}

// Clicks a control and tells when, on the page's clock, and how many
// messages were recorded before and after.
function press(page, id) {
    return page.evaluate((id) => {
        const countBefore = window.recorded.length;
        const before = performance.now();
        document.getElementById(id).click();
        return { before, after: performance.now(), countBefore, count: window.recorded.length };
    }, id);
}

const sleep = (ms) => new Promise((done) => setTimeout(done, ms));
const recorded = (page) => page.evaluate(() => window.recorded);
const text = (page, id) => page.$eval(`#${id}`, (element) => element.textContent);

// Dump's buffers as messages, each with the time it plays after the start
// of the song: the sum of the delta times up to and including its buffer.
function expectedMessages(tune, buffers, options) {
    const messages = [];
    let at = 0;
    for (const line of dumpLines(tune, buffers, options)) {
        const { deltaMs, messages: inBuffer } = parseLine(line);
        at += deltaMs;
        for (const bytes of inBuffer) messages.push({ at, bytes });
    }
    return messages;
}

// The recorded messages are expected's first ones, in order, each stamped
// start + its time; returns the largest error.
function assertOnSchedule(got, expected, start) {
    assert.ok(got.length <= expected.length, 'no more messages than dump gave');
    assert.deepEqual(
        got.map((message) => message.bytes),
        expected.slice(0, got.length).map((message) => message.bytes),
    );
    let worst = 0;
    got.forEach((message, i) => {
        const error = Math.abs(message.timestamp - (start + expected[i].at));
        worst = Math.max(worst, error);
        assert.ok(error <= 1, `message ${i} stamped ${message.timestamp}, due ${start + expected[i].at}`);
    });
    largest.timestampErrorMs = Math.max(largest.timestampErrorMs, worst);
    return worst;
}

test('melody.sid for 3 s: the bytes of dump, each at its time; the page shows the tune and its voices', async () => {
    const page = await openPage();
    await connect(page);
    await openTune(page, tunePath('melody.sid'));
    const play = await press(page, 'play');
    await sleep(3000);
    const got = await recorded(page);
    const expected = expectedMessages('melody.sid', 220);

    const start = got[0].timestamp - expected[0].at;
    assert.ok(start >= play.before && start <= play.after, 'the song starts when Play is pressed');
    assertOnSchedule(got, expected, start);
    assert.ok(got.at(-1).timestamp - start >= 2900, 'three seconds of buffers were sent');
    const ahead = got.filter((message) => message.sentAt <= message.timestamp - 20).length;
    assert.ok(ahead >= 0.9 * got.length, `sent ahead of time: ${ahead} of ${got.length}`);

    assert.deepEqual(await page.evaluate(() => window.midiRequests), [{ sysex: true }]);
    assert.equal(await text(page, 'play'), 'Pause');
    assert.match(await page.$eval('#voices', (canvas) => canvas.getAttribute('aria-label')), /^v1 [A-G]#?[0-7] pulse /);
    const words = await page.evaluate(() => document.body.innerText);
    for (const line of ['Zarvel Melody', 'Zarvel developers', '2026 Osket', '50 Hz']) assert.ok(words.includes(line), line);
    mkdirSync(output, { recursive: true });
    await page.screenshot({ path: resolve(output, 'page.png'), fullPage: true });
    assert.deepEqual(page.errors, []);
    await page.close();
});

test('pause sends the mute frames after the last frame sent and nothing after them; Play resumes with the restore frame', async () => {
    const page = await openPage();
    await connect(page);
    await openTune(page, tunePath('melody.sid'));
    await press(page, 'play');
    await sleep(500);
    const pause = await press(page, 'play');
    assert.equal(await text(page, 'play'), 'Play');
    await sleep(300);
    const paused = await recorded(page);
    assert.equal(paused.length, pause.count, 'nothing is sent after the mute frames');
    const [muteA, muteB] = paused.slice(-2);
    assert.deepEqual([muteA.bytes, muteB.bytes], [mute, mute]);
    const lastFrame = Math.max(...paused.slice(0, -2).map((message) => message.timestamp));
    assert.ok(muteA.timestamp > lastFrame, 'the mute frames follow every frame already sent');
    assert.ok(!paused.slice(0, -2).some((message) => message.bytes === mute));

    const resume = await press(page, 'play');
    assert.equal(resume.countBefore, paused.length, 'nothing was sent while paused');
    assert.equal(await text(page, 'play'), 'Pause');
    await sleep(300);
    const resumed = (await recorded(page)).slice(paused.length);
    assert.equal(resumed[0].bytes, restoreVolume15);
    assert.ok(resumed[0].timestamp >= Math.max(resume.before, muteA.timestamp));
    assert.equal(resumed[1].bytes, restoreVolume15, 'the restore frame goes out twice, as on the desktop');
    assert.equal(resumed[1].timestamp - resumed[0].timestamp, 40);
    assert.ok(resumed.length > 2 && resumed.slice(2).every((message) => message.bytes.startsWith('F0 2D 4E')));
    await page.close();
});

test('Stop mutes and sends nothing more; Play then starts the song afresh', async () => {
    const page = await openPage();
    await connect(page);
    await openTune(page, tunePath('melody.sid'));
    await press(page, 'play');
    await sleep(400);
    await press(page, 'stop');
    await sleep(300);
    const stopped = await recorded(page);
    assert.deepEqual(stopped.slice(-2).map((message) => message.bytes), [mute, mute]);
    await press(page, 'stop');
    const play = await press(page, 'play');
    assert.equal(play.countBefore, stopped.length, 'nothing after the mute frames until Play');
    await sleep(300);
    const again = (await recorded(page)).slice(stopped.length);
    const expected = expectedMessages('melody.sid', 30);
    assertOnSchedule(again, expected, again[0].timestamp - expected[0].at);
    assert.ok(again[0].timestamp - expected[0].at >= stopped.at(-1).timestamp);
    await page.close();
});

test('a play routine that never returns stops the tune; the page says when, and Play is offered again', async () => {
    const page = await openPage();
    await connect(page);
    await openTune(page, tunePath('hang.sid'));
    await press(page, 'play');
    await sleep(600);
    assert.match(await text(page, 'message'), /^Zarvel Hang: the play routine did not return at 0\.\d{3} s: playback stopped$/);
    assert.equal(await text(page, 'play'), 'Play');
    assert.deepEqual((await recorded(page)).slice(-2).map((message) => message.bytes), [mute, mute]);
    await page.close();
});

test('a tune that plays samples through the volume register gets the notice dump gives, and plays on', async () => {
    const page = await openPage();
    await connect(page);
    await openTune(page, tunePath('rsid_samples.sid'));
    await press(page, 'play');
    await page.waitForFunction(() => document.getElementById('message').textContent !== '');
    const { stderr } = dump('rsid_samples.sid', 200);
    assert.equal(`zarvel-cli: ${(await text(page, 'message')).replace(/^[^:]*: /, '')}\n`, stderr);
    assert.equal(await text(page, 'play'), 'Pause');
    await page.close();
});

test('a song change while playing mutes, then the new song plays from its start, as dump plays it', async () => {
    const page = await openPage();
    await connect(page);
    await openTune(page, tunePath('multisong.sid'));
    assert.equal(await page.$eval('#song', (select) => select.value), '2', 'the start song is chosen');
    await press(page, 'play');
    await sleep(400);
    const before = (await recorded(page)).length;
    // Song 1 plays at 60 Hz: its periods carry their leftover (16, 17, 17 ms),
    // from nothing at its start.
    await page.select('#song', '1');
    await sleep(800);
    const got = (await recorded(page)).slice(before);
    const muteAt = got.findIndex((message) => message.bytes === mute);
    assert.ok(muteAt >= 0 && got[muteAt + 1].bytes === mute);
    const newSong = got.slice(muteAt + 2);
    const expected = expectedMessages('multisong.sid', 80, { song: 1 });
    // The new song's clock starts where the mute frames play.
    assertOnSchedule(newSong, expected, got[muteAt].timestamp);
    assert.ok(newSong.length > 20);
    await page.close();
});

test('a page blocked for 300 ms: every frame keeps its time, and the late ones catch up without drift', async () => {
    const page = await openPage();
    await connect(page);
    // Every play call of demo.sid writes the SID: a frame every 20 ms.
    await openTune(page, tunePath('demo.sid'));
    await press(page, 'play');
    await sleep(500);
    const block = await page.evaluate(() => {
        const before = performance.now();
        while (performance.now() - before < 300);
        return { before, after: performance.now() };
    });
    await sleep(700);
    const got = await recorded(page);
    const expected = expectedMessages('demo.sid', 120);
    assertOnSchedule(got, expected, got[0].timestamp - expected[0].at);
    // Frames due while the page was blocked (past the look-ahead) went out
    // when it was free again: late, but stamped with their own times.
    const dueInBlock = got.filter((m) => m.timestamp > block.before + 150 && m.timestamp < block.after);
    assert.ok(dueInBlock.length > 0);
    assert.ok(dueInBlock.every((m) => m.sentAt >= block.after - 1), 'sent once the page was free');
    const late = got.filter((message) => message.sentAt > message.timestamp);
    largest.lateSendMs = Math.max(largest.lateSendMs, ...late.map((message) => message.sentAt - message.timestamp));
    assert.ok(got.at(-1).sentAt < got.at(-1).timestamp, 'after catching up, frames go out ahead again');
    await page.close();
});

test('in a background tab the tune plays on, on time, with the longer look-ahead; the page says so', async () => {
    const page = await openPage();
    await connect(page);
    await openTune(page, tunePath('melody.sid'));
    assert.match(await page.evaluate(() => document.body.innerText), /keeps playing in a background tab/);
    await press(page, 'play');
    await sleep(300);
    const other = await browser.newPage();
    await other.bringToFront();
    const hiddenAt = await page.evaluate(() => (document.hidden ? performance.now() : -1));
    assert.ok(hiddenAt >= 0, 'the tab is in the background');
    await sleep(2000);
    await page.bringToFront();
    const got = await recorded(page);
    const expected = expectedMessages('melody.sid', 200);
    assertOnSchedule(got, expected, got[0].timestamp - expected[0].at);
    const whileHidden = got.filter((message) => message.sentAt > hiddenAt + 50);
    assert.ok(whileHidden.at(-1).timestamp > hiddenAt + 2000, 'frames went on while hidden');
    assert.ok(whileHidden.every((message) => message.sentAt <= message.timestamp), 'none late');
    assert.ok(whileHidden.some((message) => message.timestamp - message.sentAt > 300), 'sent further ahead');
    await other.close();
    await page.close();
});

test('MIDI access refused, or no Web MIDI at all: the page says so in plain words', async () => {
    const refused = await openPage('refuse');
    await refused.click('#connect');
    await refused.waitForFunction(() => document.getElementById('message').textContent !== '');
    assert.match(await text(refused, 'message'), /refused access to MIDI/);
    assert.deepEqual(await refused.evaluate(() => window.midiRequests), [{ sysex: true }]);
    await openTune(refused, tunePath('melody.sid'));
    await press(refused, 'play');
    assert.match(await text(refused, 'message'), /No MIDI output is chosen/);
    assert.equal(await text(refused, 'play'), 'Play');
    await refused.close();

    const absent = await openPage('absent');
    assert.match(await text(absent, 'message'), /This browser has no Web MIDI/);
    await absent.close();
});

test('a file that is not a PSID tune, or MUS data: the load message shows and nothing is loaded', async () => {
    const page = await openPage();
    await openTune(page, tunePath('melody.s'));
    assert.equal(await text(page, 'message'), 'melody.s: not a PSID file: it does not begin with "PSID" or "RSID"');
    assert.equal(await text(page, 'info'), 'No loaded tune.');
    await openTune(page, tunePath('melody.sid'));
    assert.equal(await text(page, 'message'), '');
    await openTune(page, tunePath('mus.sid'));
    assert.match(await text(page, 'message'), /^mus.sid: not a playable tune: the file holds Sidplayer MUS data/);
    assert.equal(await text(page, 'info'), 'No loaded tune.');
    await press(page, 'play');
    assert.equal(await text(page, 'play'), 'Play', 'Play without a tune does nothing');
    await page.close();
});

// Our own length database for three of our tunes, each song of multisong.sid
// listed, written where the file input can take it. Listed in the order the
// page plays several files: by name.
const listTunes = [
    { tune: 'demo.sid', lengths: ['0:01'], ms: 1000 },
    { tune: 'melody.sid', lengths: ['0:01.500'], ms: 1500 },
    { tune: 'multisong.sid', lengths: ['0:01.200', '0:01.200', '0:01.200', '0:01.200'], ms: 1200 },
];
function writeSongLengths() {
    const md5 = (tune) => createHash('md5').update(readFileSync(tunePath(tune))).digest('hex');
    const lines = listTunes.map(({ tune, lengths }) => `; /${tune}\n${md5(tune)}=${lengths.join(' ')}`);
    const path = join(mkdtempSync(join(tmpdir(), 'zarvel-lengths-')), 'Songlengths.md5');
    writeFileSync(path, `[Database]\n${lines.join('\n')}\n`);
    return path;
}

async function chooseSongLengths(page, path) {
    const before = await page.evaluate(() => Number(document.body.dataset.collection ?? 0));
    await (await page.$('#songlengths')).uploadFile(path);
    await page.waitForFunction((n) => Number(document.body.dataset.collection) > n, {}, before);
}

const isName = (message) => message.bytes.startsWith('F0 2D 4F');
const isMute = (message) => message.bytes === mute;

test('a list of three tunes with a length database plays through, each song its length, with no action', async () => {
    const page = await openPage();
    await connect(page);
    await chooseSongLengths(page, writeSongLengths());
    const opened = await page.evaluate(() => Number(document.body.dataset.opened ?? 0));
    await (await page.$('#file')).uploadFile(...listTunes.map(({ tune }) => tunePath(tune)));
    await page.waitForFunction((n) => Number(document.body.dataset.opened) > n, {}, opened);
    const list = await page.$$eval('#list li', (items) => items.map((item) => item.textContent));
    assert.deepEqual(list.map((item) => item.split(' \u2014 ').at(-1)), ['0:01', '0:01', '0:01 0:01 0:01 0:01']);

    await press(page, 'play');
    // Each tune stops with two mute frames; the list's end leaves the page stopped.
    await page.waitForFunction((m) => window.recorded.filter((r) => r.bytes === m).length >= 6, { timeout: 15000 }, mute);
    const got = await recorded(page);
    const names = got.filter(isName);
    assert.equal(names.length, 3, 'each tune started once');
    // A PAL period is 19,656 cycles of 985,248 Hz, 19.950 ms. A song of
    // length L: its start buffer, then the n = ceil(L / 19.950 ms) play calls
    // that reach L and one more buffer before the step that ends it queues
    // the mute frames; the next tune's start buffer follows a period after
    // that: n + 3 periods between the tunes' starts (1 s: 54 periods,
    // 1077.3 ms; 1.5 s: 79, 1576.1 ms), within a ms of rounding.
    const period = 19656 / 985248 * 1000;
    for (let i = 1; i < 3; i++) {
        const gap = names[i].timestamp - names[i - 1].timestamp;
        const calls = Math.ceil(listTunes[i - 1].ms / period);
        assert.ok(Math.abs(gap - (calls + 3) * period) <= 1, `tune ${i + 1} starts ${gap} ms after tune ${i}`);
    }
    // What the first tune sent is dump's stream, up to its mute frames.
    const first = got.slice(0, got.indexOf(got.find(isMute)));
    const expected = expectedMessages('demo.sid', 100);
    assertOnSchedule(first, expected, names[0].timestamp - expected[0].at);
    assert.equal(await text(page, 'play'), 'Play');
    assert.deepEqual(page.errors, []);
    await page.close();
});

test('the database survives a reload; the position keys seek and the bar shows the time', async () => {
    const page = await openPage();
    await chooseSongLengths(page, writeSongLengths());
    await page.reload();
    await page.waitForSelector('body[data-ready=true]');
    assert.equal(await text(page, 'collection-state'), 'Song lengths of 3 tunes.');
    await connect(page);
    await openTune(page, tunePath('melody.sid'));
    assert.equal(await text(page, 'length'), '0:01');

    await openTune(page, tunePath('irq_raster.sid'));
    assert.equal(await text(page, 'length'), '-:--', 'a tune the database does not list');
    await press(page, 'play');
    await page.keyboard.press('.');
    // The seek's whole-state frame: registers 0-20 all in the mask.
    await page.waitForFunction(() => window.recorded.some((m) => m.bytes.startsWith('F0 2D 4E 7F 7F 7F ')));
    await page.waitForFunction(() => document.getElementById('elapsed').textContent === '0:10');
    assert.deepEqual(page.errors, []);
    await page.close();
});

test('once visited, the page opens and plays from its service worker with the server stopped', async () => {
    const own = await serveDirectory(site, 0);
    const page = await browser.newPage();
    await page.evaluateOnNewDocument(installMidi, 'record');
    await page.goto(`http://127.0.0.1:${own.address().port}/`);
    await page.waitForSelector('body[data-ready=true]');
    await page.evaluate(async () => {
        await navigator.serviceWorker.ready;
        if (!navigator.serviceWorker.controller) {
            await new Promise((done) => navigator.serviceWorker.addEventListener('controllerchange', done));
        }
    });
    own.closeAllConnections();
    await new Promise((done) => own.close(done));

    await page.reload();
    await page.waitForSelector('body[data-ready=true]');
    assert.match(await text(page, 'version'), /^\d+\.\d+\.\d+/);
    await connect(page);
    await openTune(page, tunePath('melody.sid'));
    await press(page, 'play');
    await page.waitForFunction(() => window.recorded.some((m) => m.bytes.startsWith('F0 2D 4F')));
    await page.close();
});

// The page's front panel: the Windows program's controls with the same ranges
// and meanings, a MIDI output chosen through Web MIDI, and the look-ahead
// scheduler in place of the MIDI stream.

import { loadCannotOpen, loadCore, loadOk } from './core.js';
import { Scheduler, Ticker, lookAheadMs, hiddenLookAheadMs } from './scheduler.js';
import { connectedOutputs, midiTexts, requestOutputs, webMidiAvailable } from './midi_access.js';
import { VoiceView } from './voice_view.js';
import {
    PlayOrder, droppedFiles, formatTime, keep, loadKept, parseSongLengths, tuneFiles,
} from './play_list.js';
import { linkWarning } from './link_budget.js';

// A seek by key moves this far.
const seekStepMs = 10000;

const element = (id) => document.getElementById(id);
const ui = {
    connect: element('connect'),
    output: element('output'),
    file: element('file'),
    info: element('info'),
    play: element('play'),
    stop: element('stop'),
    song: element('song'),
    voices: [...document.querySelectorAll('.voice')],
    speed: element('speed'),
    filter: element('filter'),
    rate: element('rate'),
    speedPercent: element('speed-percent'),
    filterPercent: element('filter-percent'),
    canvas: element('voices'),
    message: element('message'),
    folder: element('folder'),
    songLengths: element('songlengths'),
    stil: element('stil'),
    collectionState: element('collection-state'),
    list: element('list'),
    allSongs: element('all-songs'),
    shuffle: element('shuffle'),
    repeat: element('repeat'),
    previous: element('previous'),
    next: element('next'),
    elapsed: element('elapsed'),
    position: element('position'),
    length: element('length'),
    tuneText: element('tune-text'),
    extraSids: element('extra-sids'),
    changesOnly: element('changes-only'),
};

// A send that the output refused; playback cannot go on on that output.
class SendFailure extends Error {}

class WebPlayer {
    constructor(core) {
        this.core = core;
        this.access = undefined;
        this.chosenOutput = undefined; // the output selector's choice
        this.streamOutput = undefined; // the output of the playback under way, fixed at its start
        this.tuneLoaded = false;
        this.order = new PlayOrder();
        this.at = undefined;          // the list position loaded: { entry, song }
        this.lengths = new Map();     // MD5 -> lengths in ms, song 1 first
        this.stil = new Map();        // "folder/file.sid" -> its text
        this.view = new VoiceView(ui.canvas, {
            note: (frequency) => core.noteName(frequency),
            waveform: (control) => core.waveformName(control),
            filterMode: (modeVolume) => core.filterModeName(modeVolume),
        });
        this.scheduler = new Scheduler({
            send: (message, timestamp) => this.send(message, timestamp),
            onBuffer: (due, buffer) => this.view.add(due, buffer.registers),
        });
        this.ticker = new Ticker(() => this.tick());
        this.showScales();
    }

    say(text) {
        ui.message.textContent = text;
    }

    send(message, timestamp) {
        try {
            this.streamOutput.send(message, timestamp);
        } catch (error) {
            throw new SendFailure(error?.message || String(error));
        }
    }

    // Runs one piece of playback work; a refused send ends the playback
    // there, since nothing more can reach the synthesizer.
    guarded(work) {
        try {
            work();
        } catch (error) {
            if (!(error instanceof SendFailure)) throw error;
            this.core.stop(false);
            this.say(midiTexts.sendFailed + error.message);
        }
        this.showPlayState();
    }

    tick() {
        if (this.core.playing) {
            this.guarded(() => this.scheduler.fill(() => this.core.step(), () => this.core.playing));
            this.showRate();
            this.tellStopByItself();
            const samples = this.core.takeSamplesNotice();
            if (samples) this.say(`${this.core.tune.name}: ${samples}`);
        }
        // A song that played its length moves on by itself, right after its
        // mute frames; at the list's end the page stays stopped.
        if (!this.core.playing && this.core.songEnded && this.at) {
            const next = this.order.move(this.at, 1);
            if (next) this.playAt(next, { onward: true });
        }
        this.showTime();
    }

    // A play routine that never returned has stopped the tune.
    tellStopByItself() {
        if (!this.core.playing && this.core.stopText) this.say(`${this.core.tune.name}: ${this.core.stopText}`);
    }

    // ---- MIDI

    async connect() {
        this.say('');
        const { access, outputs, error } = await requestOutputs();
        if (error) this.say(error);
        if (!access) return;
        if (this.access !== access) {
            this.access = access;
            access.onstatechange = () => this.outputsChanged();
        }
        this.listOutputs(outputs);
    }

    listOutputs(outputs) {
        const keep = this.chosenOutput?.id;
        ui.output.replaceChildren(...outputs.map((output) => new Option(output.name || output.id, output.id)));
        if (outputs.length === 0) ui.output.replaceChildren(new Option('none', ''));
        ui.output.disabled = outputs.length === 0;
        const chosen = outputs.find((output) => output.id === keep) ?? outputs[0];
        this.chosenOutput = chosen;
        if (chosen) ui.output.value = chosen.id;
    }

    chooseOutput(id) {
        // Like the Windows program's device choice: the playback under way
        // keeps its output, and so does a resume of it (the synthesizer on
        // it holds the paused tune's registers); the next start takes the new one.
        this.chosenOutput = this.access && connectedOutputs(this.access).find((output) => output.id === id);
    }

    isConnected(output) {
        return output !== undefined && this.access !== undefined &&
            connectedOutputs(this.access).some((connected) => connected.id === output.id);
    }

    outputsChanged() {
        const outputs = connectedOutputs(this.access);
        const inUse = this.streamOutput;
        if (this.core.playing && inUse && !outputs.some((output) => output.id === inUse.id)) {
            this.core.stop(false);
            this.say(midiTexts.outputGone + (inUse.name || inUse.id));
            this.showPlayState();
        }
        this.listOutputs(outputs);
    }

    // ---- The tune

    // Files opened or dropped join the list; with one file and nothing in
    // the list, or when nothing plays, the first of them is loaded.
    async openFiles(files) {
        this.say('');
        const tunes = files.length > 1 ? tuneFiles(files) : files;
        const entries = [];
        const skipped = [];
        for (const file of tunes) {
            const entry = await this.readEntry(file, { alone: tunes.length === 1 });
            if (entry) entries.push(entry);
            else skipped.push(file.name);
        }
        if (tunes.length > 1 && skipped.length) {
            this.say(`${skipped.length} of ${tunes.length} files are not tunes Zarvel plays: ${skipped.join(', ')}`);
        }
        if (entries.length === 0) return;
        const first = this.order.entries.length;
        this.order.add(entries);
        this.showList();
        if (!this.core.playing) await this.loadAt(this.order.startOf(first));
        else if (entries.length === 1 && files.length === 1) await this.playAt(this.order.startOf(first));
    }

    // A file as a list entry, its header read by the core; undefined (and
    // said) when it is not a tune the core plays.
    async readEntry(file, { alone }) {
        let bytes;
        try {
            bytes = new Uint8Array(await file.arrayBuffer());
        } catch {
            // A folder, or a file gone or unreadable: the tune playing stays.
            this.say(`${file.name}: ${this.core.loadMessage(loadCannotOpen)}`);
            return undefined;
        }
        // The header alone: the loader's checks, without touching what plays.
        const entry = { file, bytes, path: file.webkitRelativePath || file.name };
        if (!this.probe(entry, alone)) return undefined;
        return entry;
    }

    // A single file that fails leaves nothing loaded, as the window's load
    // does; one of several is passed over and the loaded tune stays.
    probe(entry, alone) {
        const wasLoaded = this.at && this.order.entries[this.at.entry];
        if (this.core.playing || this.core.paused) {
            // Loading stops what plays; the list keeps the file and reads its
            // header when it comes to play it.
            Object.assign(entry, { name: entry.file.name, author: '', songs: 1, startSong: 1, md5: '' });
            return true;
        }
        const { result, message } = this.core.load(entry.bytes);
        if (result !== loadOk) {
            if (alone || !wasLoaded) {
                this.say(`${entry.file.name}: ${message}`);
                this.showNoTune();
            } else {
                this.reloadCurrent(wasLoaded);
            }
            return false;
        }
        this.describe(entry);
        if (wasLoaded) this.reloadCurrent(wasLoaded);
        return true;
    }

    // The tune the list stands at back in the core after a look at another
    // file, with its song and length as they were.
    reloadCurrent(entry) {
        this.core.load(entry.bytes);
        this.core.setSong(this.at.song);
        this.core.setSongLength(this.lengthOf(entry, this.at.song));
    }

    describe(entry) {
        const tune = this.core.tune;
        Object.assign(entry, {
            name: tune.name || entry.file.name, author: tune.author, songs: tune.songs,
            startSong: tune.startSong, md5: this.core.tuneMd5,
        });
    }

    lengthOf(entry, song) {
        return this.lengths.get(entry.md5)?.[song - 1] || 0;
    }

    // With onward, a file that does not load is passed over (its message
    // stays) and the list plays on from the one after it.
    async playAt(at, { onward = false } = {}) {
        let passedOver = '';
        for (let tries = this.order.entries.length; at && tries > 0; tries--) {
            if (await this.loadAt(at)) {
                if (passedOver) this.say(passedOver);
                this.begin(() => this.core.start());
                break;
            }
            if (!onward) break;
            passedOver = ui.message.textContent;
            at = this.order.move(at, 1);
        }
        this.showPlayState();
    }

    // Loads the list's entry at, with its song and length chosen.
    async loadAt(at) {
        const entry = this.order.entries[at.entry];
        if (this.core.playing) this.guarded(() => this.scheduler.follow(this.core.stop(false)));
        const result = await this.open(entry.file, entry.bytes);
        if (result !== loadOk) return false;
        this.describe(entry);
        this.at = at;
        this.core.setSong(at.song);
        ui.song.selectedIndex = at.song - 1;
        this.core.setSongLength(this.lengthOf(entry, at.song));
        this.showList();
        this.showTuneText(entry);
        this.warnAboveLink(entry, at.song);
        return true;
    }

    // Says once, when a song is loaded, that its stream needs more than a
    // 5-pin MIDI link carries; measured in a worker, told if the song is
    // still the one loaded when the answer comes.
    warnAboveLink(entry, song) {
        const extraSids = ui.extraSids.checked ? 'frames' : 'off';
        const id = (this.measureId = (this.measureId ?? 0) + 1);
        try {
            this.measurer ??= new Worker(new URL('./measure_worker.js', import.meta.url), { type: 'module' });
        } catch {
            return; // no module workers: the page plays on without the warning
        }
        this.measurer.onmessage = ({ data }) => {
            if (data.id !== this.measureId || !data.budget) return;
            const warning = linkWarning(entry.name, data.budget, ui.changesOnly.checked);
            if (!warning) return;
            const said = ui.message.textContent;
            this.say(said ? `${said} ${warning}` : warning);
        };
        this.measurer.postMessage({ id, bytes: entry.bytes, song, extraSids });
    }

    async open(file, bytes) {
        if (!file) return;
        this.say('');
        const wasPlaying = this.core.playing;
        const { result, message, buffers } = this.core.load(bytes);
        this.guarded(() => this.scheduler.follow(buffers));
        this.tuneLoaded = result === loadOk;
        if (!this.tuneLoaded) {
            this.say(`${file.name}: ${message}`);
            this.showNoTune();
            return result;
        }
        const tune = this.core.tune;
        ui.info.replaceChildren(listItem(tune.name), listItem(tune.author), listItem(tune.released));
        const songs = Array.from({ length: tune.songs }, (_, i) => new Option(String(i + 1), String(i + 1)));
        ui.song.replaceChildren(...songs);
        ui.song.disabled = false;
        // The loader keeps the start song within 1..songs.
        ui.song.selectedIndex = tune.startSong - 1;
        document.title = tune.name ? `${tune.name} - Zarvel` : 'Zarvel';
        if (this.core.extraSidsText) this.say(`${tune.name}: ${this.core.extraSidsText}`);
        if (wasPlaying) this.begin(() => this.core.start());
        this.showPlayState();
        return result;
    }

    // ---- The controls

    // A start on the chosen output, or a resume on the output it paused on
    // while that is still there.
    begin(work, { resuming = false } = {}) {
        const output = resuming && this.isConnected(this.streamOutput) ? this.streamOutput : this.chosenOutput;
        if (!output) {
            this.say(midiTexts.noOutputChosen);
            return;
        }
        this.streamOutput = output;
        this.guarded(() => {
            this.scheduler.begin(work());
            this.scheduler.fill(() => this.core.step(), () => this.core.playing);
        });
        this.showRate();
        this.tellStopByItself();
    }

    pressPlay() {
        this.say('');
        if (this.core.playing) {
            this.guarded(() => this.scheduler.follow(this.core.stop(true)));
        } else if (this.tuneLoaded) {
            if (this.core.paused) this.begin(() => this.core.resume(), { resuming: true });
            else this.begin(() => this.core.start());
        }
        this.showPlayState();
    }

    pressStop() {
        // After a pause Stop does nothing: Play resumes.
        if (this.core.playing) this.guarded(() => this.scheduler.follow(this.core.stop(false)));
    }

    chooseSong(song) {
        if (song === this.core.currentSong) return;
        this.core.setSong(song);
        if (this.at) {
            this.at = { entry: this.at.entry, song };
            this.core.setSongLength(this.lengthOf(this.order.entries[this.at.entry], song));
        }
        // While playing, the old song's mute frames go out, then the new
        // song starts from its init; otherwise the next fresh start plays it.
        if (this.core.playing) {
            this.guarded(() => this.scheduler.follow(this.core.stop(false)));
            this.begin(() => this.core.start());
        }
    }

    // Next (1) or previous (-1) in the list's order.
    moveSong(step) {
        if (!this.at) return;
        const to = this.order.move(this.at, step);
        if (!to) return;
        if (this.core.playing) this.playAt(to);
        else this.loadAt(to);
    }

    seekTo(ms) {
        if (!this.core.playing) return;
        this.guarded(() => this.scheduler.follow(this.core.seek(Math.max(0, ms))));
        this.tick();
    }

    seekBy(ms) {
        this.seekTo(this.core.songTimeMs + ms);
    }

    // ---- The collection's files

    async chooseSongLengths(file, { remember = true } = {}) {
        if (!file) return;
        const text = typeof file === 'string' ? file : await file.text();
        const lengths = parseSongLengths(text);
        if (lengths.size === 0) {
            this.say(`${file.name}: no song lengths in it (a Songlengths.md5 has a [Database] of MD5=m:ss lines)`);
            return;
        }
        this.lengths = lengths;
        if (remember) await keep('songlengths', text);
        ui.collectionState.textContent = `Song lengths of ${lengths.size} tunes.`;
        if (this.at) this.core.setSongLength(this.lengthOf(this.order.entries[this.at.entry], this.at.song));
        this.showList();
    }

    async chooseStil(file, { remember = true } = {}) {
        if (!file) return;
        const text = typeof file === 'string' ? file : await file.text();
        this.stil = parseStil(text);
        if (remember) await keep('stil', text);
        if (this.at) this.showTuneText(this.order.entries[this.at.entry]);
    }

    async restoreCollection() {
        try {
            const [lengths, stil] = await Promise.all([loadKept('songlengths'), loadKept('stil')]);
            if (lengths) await this.chooseSongLengths(lengths, { remember: false });
            if (stil) await this.chooseStil(stil, { remember: false });
        } catch (error) {
            this.say(`The song lengths kept in this browser could not be read: ${error?.message || error}`);
        }
    }

    showTuneText(entry) {
        const text = this.stil.get(stilKey(entry.path)) ?? '';
        ui.tuneText.textContent = text;
        ui.tuneText.hidden = text === '';
    }

    toggleVoice(button) {
        const on = button.getAttribute('aria-pressed') !== 'true';
        button.setAttribute('aria-pressed', String(on));
        this.core.setVoice(Number(button.dataset.voice), on);
    }

    setSpeed(percent) {
        this.core.setSpeed(percent);
        this.showScales();
    }

    setFilter(percent) {
        this.core.setFilter(percent);
        this.showScales();
    }

    hiddenChanged(hidden) {
        this.scheduler.lookAheadMs = hidden ? hiddenLookAheadMs : lookAheadMs;
        this.tick();
    }

    // ---- What the panel shows

    showPlayState() {
        ui.play.textContent = this.core.playing ? 'Pause' : 'Play';
    }

    showNoTune() {
        this.tuneLoaded = false;
        this.at = undefined;
        ui.info.replaceChildren(listItem('No loaded tune.'));
        ui.song.replaceChildren();
        ui.song.disabled = true;
        this.showPlayState();
    }

    showList() {
        ui.list.replaceChildren(...this.order.entries.map((entry, index) => {
            const item = document.createElement('li');
            const lengths = this.lengths.get(entry.md5);
            const length = lengths ? lengths.map(formatTime).join(' ') : '-:--';
            item.textContent = `${entry.name} \u2014 ${entry.author} \u2014 ${length}`;
            item.dataset.md5 = entry.md5;
            if (this.at?.entry === index) item.setAttribute('aria-current', 'true');
            item.addEventListener('click', () => this.playAt(this.order.startOf(index)));
            return item;
        }));
    }

    showTime() {
        const entry = this.at && this.order.entries[this.at.entry];
        const length = entry ? this.lengthOf(entry, this.at.song) : 0;
        const elapsed = this.core.songTimeMs;
        ui.elapsed.textContent = formatTime(this.tuneLoaded ? elapsed : 0);
        ui.length.textContent = length > 0 ? formatTime(length) : '-:--';
        // Without a length the bar reaches a little past where the song is.
        ui.position.max = String(length > 0 ? length : Math.max(180000, elapsed + 60000));
        if (!this.dragging) ui.position.value = String(elapsed);
    }

    showRate() {
        const text = `${this.core.rateLabelHz} Hz`;
        if (ui.rate.textContent !== text) ui.rate.textContent = text;
    }

    showScales() {
        ui.speedPercent.textContent = `${ui.speed.value}%`;
        ui.filterPercent.textContent = `${ui.filter.value}%`;
        this.showRate();
    }
}

// STIL.txt: each entry begins with the tune's path in the collection
// ("/MUSICIANS/H/Hubbard_Rob/Commando.sid"); its text runs to the next one.
function parseStil(text) {
    const entries = new Map();
    let key;
    let lines = [];
    const flush = () => {
        if (key && lines.length) entries.set(key, lines.join('\n').trim());
    };
    for (const line of text.split(/\r?\n/)) {
        if (/^\/.*\.sid$/i.test(line.trim())) {
            flush();
            key = stilKey(line.trim());
            lines = [];
        } else if (key) {
            lines.push(line);
        }
    }
    flush();
    return entries;
}

// A tune's folder and file name, the part of its path a folder opened from
// the collection shares with STIL's.
function stilKey(path) {
    return path.split('/').filter(Boolean).slice(-2).join('/').toLowerCase();
}

function listItem(text) {
    const item = document.createElement('li');
    item.textContent = text;
    return item;
}

let player;
try {
    player = new WebPlayer(await loadCore(new URL('./zarvel_core.wasm', import.meta.url)));
} catch (error) {
    ui.message.textContent = `The player's core did not load: ${error.message}`;
    throw error;
}

element('version').textContent = player.core.version;
if (!webMidiAvailable()) player.say(globalThis.isSecureContext === false ? midiTexts.insecure : midiTexts.noWebMidi);

ui.connect.addEventListener('click', () => player.connect());
ui.output.addEventListener('change', () => player.chooseOutput(ui.output.value));
// Each file taken is counted on the page, for whoever waits for a load to end.
let opened = 0;
const open = (files) =>
    player.openFiles(files).finally(() => {
        document.body.dataset.opened = String(++opened);
        ui.file.value = '';
        ui.folder.value = '';
    });
ui.file.addEventListener('change', () => open([...ui.file.files]));
ui.folder.addEventListener('change', () => open([...ui.folder.files]));
let collectionReads = 0;
const collectionRead = (work) => work.finally(() => {
    document.body.dataset.collection = String(++collectionReads);
});
ui.songLengths.addEventListener('change', () => collectionRead(player.chooseSongLengths(ui.songLengths.files[0])));
ui.stil.addEventListener('change', () => collectionRead(player.chooseStil(ui.stil.files[0])));
ui.allSongs.addEventListener('change', () => { player.order.allSongs = ui.allSongs.checked; });
ui.shuffle.addEventListener('change', () => {
    player.order.shuffle = ui.shuffle.checked;
    player.order.reorder();
});
ui.repeat.addEventListener('change', () => { player.order.repeat = ui.repeat.checked; });
ui.previous.addEventListener('click', () => player.moveSong(-1));
ui.next.addEventListener('click', () => player.moveSong(1));
ui.position.addEventListener('input', () => { player.dragging = true; });
ui.position.addEventListener('change', () => {
    player.dragging = false;
    player.seekTo(Number(ui.position.value));
});
ui.extraSids.addEventListener('change', () => player.core.setExtraSids(ui.extraSids.checked ? 'frames' : 'off'));
ui.changesOnly.addEventListener('change', () => player.core.setChangesOnly(ui.changesOnly.checked));
document.addEventListener('keydown', (event) => {
    if (event.ctrlKey || event.altKey || event.metaKey || event.target.matches?.('input, select')) return;
    const action = {
        ' ': () => player.pressPlay(),
        ArrowRight: () => player.moveSong(1),
        ArrowLeft: () => player.moveSong(-1),
        '<': () => player.seekBy(-seekStepMs),
        ',': () => player.seekBy(-seekStepMs),
        '>': () => player.seekBy(seekStepMs),
        '.': () => player.seekBy(seekStepMs),
    }[event.key];
    if (!action) return;
    event.preventDefault();
    action();
});
ui.play.addEventListener('click', () => player.pressPlay());
ui.stop.addEventListener('click', () => player.pressStop());
ui.song.addEventListener('change', () => player.chooseSong(ui.song.selectedIndex + 1));
for (const button of ui.voices) button.addEventListener('click', () => player.toggleVoice(button));
ui.speed.addEventListener('input', () => player.setSpeed(Number(ui.speed.value)));
ui.filter.addEventListener('input', () => player.setFilter(Number(ui.filter.value)));
document.addEventListener('visibilitychange', () => player.hiddenChanged(document.hidden));
player.hiddenChanged(document.hidden);
window.addEventListener('resize', () => player.view.resize());

// A file dropped anywhere on the page; of several, the first.
document.addEventListener('dragover', (event) => {
    event.preventDefault();
    document.body.classList.add('dragging');
});
document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
document.addEventListener('drop', (event) => {
    event.preventDefault();
    document.body.classList.remove('dragging');
    droppedFiles(event.dataTransfer).then(open);
});

const animate = () => {
    player.view.update();
    requestAnimationFrame(animate);
};
requestAnimationFrame(animate);
await player.restoreCollection();
// Once visited, the page opens and plays without a network.
if ('serviceWorker' in navigator && globalThis.isSecureContext) {
    navigator.serviceWorker.register('./service_worker.js').catch(() => {});
}
document.body.dataset.ready = 'true';

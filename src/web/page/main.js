// The page's front panel: the Windows program's controls with the same ranges
// and meanings, a MIDI output chosen through Web MIDI, and the look-ahead
// scheduler in place of the MIDI stream.

import { loadCannotOpen, loadCore, loadOk } from './core.js';
import { Scheduler, Ticker, lookAheadMs, hiddenLookAheadMs } from './scheduler.js';
import { connectedOutputs, midiTexts, requestOutputs, webMidiAvailable } from './midi_access.js';
import { VoiceView } from './voice_view.js';

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
        if (!this.core.playing) return;
        this.guarded(() => this.scheduler.fill(() => this.core.step(), () => this.core.playing));
        this.showRate();
        this.tellStopByItself();
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

    async open(file) {
        if (!file) return;
        this.say('');
        let bytes;
        try {
            bytes = new Uint8Array(await file.arrayBuffer());
        } catch {
            // A folder, or a file gone or unreadable: the tune playing stays.
            this.say(`${file.name}: ${this.core.loadMessage(loadCannotOpen)}`);
            return;
        }
        const wasPlaying = this.core.playing;
        const { result, message, buffers } = this.core.load(bytes);
        this.guarded(() => this.scheduler.follow(buffers));
        this.tuneLoaded = result === loadOk;
        if (!this.tuneLoaded) {
            this.say(`${file.name}: ${message}`);
            ui.info.replaceChildren(listItem('No loaded tune.'));
            ui.song.replaceChildren();
            ui.song.disabled = true;
            this.showPlayState();
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
        // While playing, the old song's mute frames go out, then the new
        // song starts from its init; otherwise the next fresh start plays it.
        if (this.core.playing) {
            this.guarded(() => this.scheduler.follow(this.core.stop(false)));
            this.begin(() => this.core.start());
        }
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
const open = (file) =>
    player.open(file).finally(() => {
        document.body.dataset.opened = String(++opened);
        ui.file.value = '';
    });
ui.file.addEventListener('change', () => open(ui.file.files[0]));
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
    open(event.dataTransfer.files[0]);
});

const animate = () => {
    player.view.update();
    requestAnimationFrame(animate);
};
requestAnimationFrame(animate);
document.body.dataset.ready = 'true';

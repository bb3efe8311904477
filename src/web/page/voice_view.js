// A live view of the synthesizer's three voices and its filter, drawn on a
// canvas from the SID registers as the register frames have left them when
// they play (the core decodes each buffer as the CLI's monitor does). Frames
// are scheduled up to the look-ahead ahead of time; the view shows each one
// when it falls due, not when it was sent.

const voiceBase = [0, 7, 14]; // 7 registers a voice
const regControl = 4;
const regCutoffLow = 21;
const regCutoffHigh = 22;
const regResonanceRouting = 23;
const regModeVolume = 24;
const gateBit = 0x01;

const colours = {
    background: '#14161c',
    text: '#e8e4d8',
    dim: '#6d7080',
    bar: '#2c303c',
    voice: ['#f2b134', '#4fb0c6', '#e0607e'],
    filter: '#8fd16a',
    gate: '#7cf08a',
};

export class VoiceView {
    // names: { note(frequency), waveform(control), filterMode(modeVolume) }.
    constructor(canvas, names, now = () => performance.now()) {
        this.canvas = canvas;
        this.names = names;
        this.now = now;
        this.pending = [];
        this.registers = new Uint8Array(25);
        this.drawn = '';
        this.resize();
        this.draw();
    }

    // A buffer scheduled to play at due. A hidden tab draws nothing, so the
    // buffers that have played are taken here too, not only when drawing.
    add(due, registers) {
        this.takePlayed();
        this.pending.push({ due, registers });
    }

    // The registers of the latest buffer that has played by now.
    takePlayed() {
        const now = this.now();
        while (this.pending.length && this.pending[0].due <= now) this.registers = this.pending.shift().registers;
    }

    update() {
        this.takePlayed();
        this.draw();
    }

    resize() {
        const ratio = globalThis.devicePixelRatio || 1;
        const { width, height } = this.canvas.getBoundingClientRect();
        this.width = width || this.canvas.width;
        this.height = height || this.canvas.height;
        this.canvas.width = Math.round(this.width * ratio);
        this.canvas.height = Math.round(this.height * ratio);
        this.canvas.getContext('2d').setTransform(ratio, 0, 0, ratio, 0, 0);
        this.drawn = '';
    }

    voice(v) {
        const reg = this.registers;
        const base = voiceBase[v];
        const frequency = reg[base] | (reg[base + 1] << 8);
        const control = reg[base + regControl];
        return {
            frequency,
            note: this.names.note(frequency),
            waveform: this.names.waveform(control),
            gate: (control & gateBit) !== 0,
        };
    }

    filter() {
        const reg = this.registers;
        const routing = reg[regResonanceRouting];
        return {
            cutoff: (reg[regCutoffHigh] << 3) | (reg[regCutoffLow] & 7),
            mode: this.names.filterMode(reg[regModeVolume]),
            resonance: routing >> 4,
            routed: [0, 1, 2].filter((v) => routing & (1 << v)).map((v) => v + 1),
            volume: reg[regModeVolume] & 15,
        };
    }

    // The view in words, as the CLI's monitor line puts it; the canvas's label.
    describe() {
        const voices = [0, 1, 2].map((v) => {
            const { note, waveform, gate } = this.voice(v);
            return `v${v + 1} ${note} ${waveform} ${gate ? 'on' : 'off'}`;
        });
        const f = this.filter();
        return `${voices.join(' | ')} | cutoff ${f.cutoff} ${f.mode} volume ${f.volume}`;
    }

    draw() {
        const words = this.describe();
        if (words === this.drawn) return;
        this.drawn = words;
        this.canvas.setAttribute('aria-label', words);

        const g = this.canvas.getContext('2d');
        const w = this.width;
        const rowHeight = this.height / 4;
        // The bars start after the words, and nearer on a narrow screen.
        const barX = Math.min(250, Math.max(200, w * 0.4));
        g.fillStyle = colours.background;
        g.fillRect(0, 0, w, this.height);
        g.textBaseline = 'middle';

        for (let v = 0; v < 3; v++) {
            const { frequency, note, waveform, gate } = this.voice(v);
            const y = v * rowHeight;
            const mid = y + rowHeight / 2;
            g.fillStyle = colours.dim;
            g.font = '12px system-ui, sans-serif';
            g.fillText(`Voice ${v + 1}`, 12, mid);
            g.fillStyle = gate ? colours.gate : colours.bar;
            g.beginPath();
            g.arc(80, mid, 6, 0, 2 * Math.PI);
            g.fill();
            g.fillStyle = colours.text;
            g.font = 'bold 20px ui-monospace, monospace';
            g.fillText(note, 96, mid);
            g.font = '13px system-ui, sans-serif';
            g.fillStyle = colours.dim;
            g.fillText(waveform, 150, mid, barX - 158);
            // Pitch on a log scale of the 16-bit register: an octave is one
            // sixteenth of the bar.
            const barWidth = w - barX - 16;
            g.fillStyle = colours.bar;
            g.fillRect(barX, mid - 3, barWidth, 6);
            if (frequency > 0) {
                const x = barX + (Math.log2(frequency) / 16) * barWidth;
                g.fillStyle = colours.voice[v];
                g.globalAlpha = gate ? 1 : 0.45;
                g.fillRect(x - 3, mid - 10, 6, 20);
                g.globalAlpha = 1;
            }
        }

        const f = this.filter();
        const mid = 3 * rowHeight + rowHeight / 2;
        g.font = '12px system-ui, sans-serif';
        g.fillStyle = colours.dim;
        g.fillText('Filter', 12, mid);
        g.fillStyle = colours.text;
        g.font = '13px system-ui, sans-serif';
        g.fillText(`${f.mode}, volume ${f.volume}`, 60, mid - 8);
        g.fillStyle = colours.dim;
        g.fillText(`res ${f.resonance}  voices ${f.routed.join(' ') || '-'}`, 60, mid + 9);
        const cutoffWidth = w - barX - 16;
        g.fillStyle = colours.bar;
        g.fillRect(barX, mid - 3, cutoffWidth, 6);
        g.fillStyle = colours.filter;
        g.fillRect(barX, mid - 3, (f.cutoff / 2047) * cutoffWidth, 6);
    }
}

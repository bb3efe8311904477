// How many bytes a second a song's stream needs, measured as the command
// line's play measures it before it starts: the song's first minute at 100 %
// speed, once as sent and once with changes only, on a core of its own so
// that what plays is not touched. 5-pin DIN MIDI carries 3,125 bytes a
// second; a stream that needs more queues its frames and drags the tune.

export const dinLinkRate = 3125;
const spanMs = 60000;
const windowMs = 1000;

// buffers: [{ deltaMs, bytes }] in stream order. The mean over the whole
// span (a song that stops early needs nothing after) and the most bytes that
// play within any one window, both per second.
export function streamRate(buffers) {
    let time = 0;
    const times = buffers.map((buffer) => (time += buffer.deltaMs));
    if (buffers.length === 0) return { mean: 0, peak: 0 };
    const end = times[0] + spanMs;
    let total = 0;
    let inWindow = 0;
    let most = 0;
    let oldest = 0;
    for (let i = 0; i < buffers.length && times[i] < end; i++) {
        const bytes = buffers[i].bytes.length;
        total += bytes;
        inWindow += bytes;
        while (times[oldest] <= times[i] - windowMs) inWindow -= buffers[oldest++].bytes.length;
        most = Math.max(most, inWindow);
    }
    return { mean: (total * 1000) / spanMs, peak: (most * 1000) / windowMs };
}

// { sent, changesOnly } rates of song of the tune in bytes, with extraSids
// ('off' or 'frames') as the page sends; undefined when it does not load.
// Each on a fresh core from newCore(), as a synthesizer that heard nothing
// before: what changes only leaves out depends on what was sent earlier.
export async function measureStream(newCore, bytes, song, extraSids) {
    const rate = async (changesOnly) => {
        const core = await newCore();
        if (core.load(bytes).result !== 1) return undefined;
        core.setSong(song);
        core.setExtraSids(extraSids);
        core.setChangesOnly(changesOnly);
        const buffers = core.start();
        let played = 0;
        while (core.playing && played < spanMs) {
            const step = core.step();
            buffers.push(...step);
            played += step.reduce((sum, buffer) => sum + buffer.deltaMs, 0);
        }
        return streamRate(buffers);
    };
    const sent = await rate(false);
    return sent && { sent, changesOnly: await rate(true) };
}

// What the page says when the stream needs more than the link carries, in
// the command line's words; '' when it fits.
export function linkWarning(name, budget, changesOnly, linkRate = dinLinkRate) {
    const peak = changesOnly ? budget.changesOnly.peak : budget.sent.peak;
    if (!budget || peak <= linkRate) return '';
    let text = `${name} needs up to ${Math.round(peak)} bytes/s, more than the link's ${linkRate}: its frames will ` +
        'queue and the tune drag';
    if (!changesOnly && budget.changesOnly.peak <= linkRate) {
        text += `; changes only needs up to ${Math.round(budget.changesOnly.peak)} and fits`;
    }
    return text;
}

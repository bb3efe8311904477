// Measures a song's stream on cores of its own, away from the page's thread:
// a minute of play takes a moment that the page's scheduler cannot spare.
import { loadCore } from './core.js';
import { measureStream } from './link_budget.js';

const module = fetch(new URL('./zarvel_core.wasm', import.meta.url)).then((response) => response.arrayBuffer());

self.onmessage = async ({ data: { id, bytes, song, extraSids } }) => {
    try {
        const wasm = await module;
        const budget = await measureStream(() => loadCore(wasm), bytes, song, extraSids);
        self.postMessage({ id, budget });
    } catch (error) {
        self.postMessage({ id, error: String(error?.message || error) });
    }
};

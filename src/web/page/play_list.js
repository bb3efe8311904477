// The play list and the collection's song-length database, as the page keeps
// them: the list holds the files opened or dropped, each with its header
// texts and its lengths looked up by the tune's full-file MD5; the database
// text the user chose once is kept in IndexedDB and read again on later visits.

// ---- The song-length database (Songlengths.md5)

// Reads "m:ss" or "m:ss.mmm" as the database writes it; undefined for
// anything else. 0:00 counts as unknown: no song plays for no time.
export function parseLength(text) {
    const match = /^(\d+):([0-5]\d)(?:\.(\d{1,3}))?$/.exec(text);
    if (!match) return undefined;
    const ms = (Number(match[1]) * 60 + Number(match[2])) * 1000 + Number((match[3] ?? '0').padEnd(3, '0'));
    return ms > 0 ? ms : 0;
}

// MD5 -> [ms of song 1, song 2, ...] (0 where unknown). Lines of other
// sections, comments and lines that cannot be read are passed over; a later
// line for the same MD5 wins.
export function parseSongLengths(text) {
    const lengths = new Map();
    let inDatabase = false;
    for (const raw of text.split('\n')) {
        const line = raw.trim();
        if (line.startsWith('[')) {
            inDatabase = line.toLowerCase() === '[database]';
            continue;
        }
        if (!inDatabase || line === '' || line.startsWith(';')) continue;
        const match = /^([0-9a-fA-F]{32})=(.*)$/.exec(line);
        if (!match) continue;
        // The old attribute letters after a length, "0:46(G)", are not ours.
        const songs = match[2].trim().split(/\s+/).map((word) => parseLength(word.replace(/\(.*\)$/, '')));
        if (songs.some((ms) => ms === undefined)) continue;
        lengths.set(match[1].toLowerCase(), songs);
    }
    return lengths;
}

// "m:ss" of a song time, the milliseconds cut off; "-:--" when not known.
export function formatTime(ms) {
    if (!(ms >= 0)) return '-:--';
    const seconds = Math.floor(ms / 1000);
    return `${Math.floor(seconds / 60)}:${String(seconds % 60).padStart(2, '0')}`;
}

// ---- What the browser keeps between visits

const storeName = 'files';

function openStore() {
    return new Promise((resolve, reject) => {
        const request = indexedDB.open('zarvel', 1);
        request.onupgradeneeded = () => request.result.createObjectStore(storeName);
        request.onsuccess = () => resolve(request.result);
        request.onerror = () => reject(request.error);
    });
}

// A kept text by its key ('songlengths', 'stil'), or undefined.
export async function loadKept(key) {
    const db = await openStore();
    try {
        return await new Promise((resolve, reject) => {
            const request = db.transaction(storeName).objectStore(storeName).get(key);
            request.onsuccess = () => resolve(request.result);
            request.onerror = () => reject(request.error);
        });
    } finally {
        db.close();
    }
}

export async function keep(key, value) {
    const db = await openStore();
    try {
        await new Promise((resolve, reject) => {
            const transaction = db.transaction(storeName, 'readwrite');
            transaction.objectStore(storeName).put(value, key);
            transaction.oncomplete = () => resolve();
            transaction.onerror = () => reject(transaction.error);
        });
    } finally {
        db.close();
    }
}

// ---- Files out of a drop: a folder dropped brings every file under it

export async function droppedFiles(dataTransfer) {
    const entries = [...dataTransfer.items].map((item) => item.webkitGetAsEntry?.()).filter(Boolean);
    if (entries.length === 0) return [...dataTransfer.files];
    const files = [];
    const walk = async (entry) => {
        if (entry.isFile) {
            files.push(await new Promise((resolve, reject) => entry.file(resolve, reject)));
        } else if (entry.isDirectory) {
            const reader = entry.createReader();
            // readEntries hands over a part of the folder each time, then nothing.
            for (;;) {
                const part = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
                if (part.length === 0) break;
                for (const child of part) await walk(child);
            }
        }
    };
    for (const entry of entries) await walk(entry);
    return files;
}

// Tunes by their path, so that a folder plays in its own order.
export function tuneFiles(files) {
    const path = (file) => file.webkitRelativePath || file.name;
    return files.filter((file) => /\.sid$/i.test(file.name)).sort((a, b) => path(a).localeCompare(path(b)));
}

// ---- The order songs play in

// The list's entries are { name, author, songs, startSong, lengths, bytes }.
// A position is { entry, song }. With all songs, each song of a tune plays
// in turn; otherwise a tune's start song alone. Shuffle plays the entries in
// a fresh random order each round.
export class PlayOrder {
    constructor() {
        this.entries = [];
        this.allSongs = false;
        this.shuffle = false;
        this.repeat = false;
        this.order = [];
    }

    add(entries) {
        this.entries.push(...entries);
        this.reorder();
    }

    reorder(random = Math.random) {
        this.order = this.entries.map((_, i) => i);
        if (!this.shuffle) return;
        for (let i = this.order.length - 1; i > 0; i--) {
            const j = Math.floor(random() * (i + 1));
            [this.order[i], this.order[j]] = [this.order[j], this.order[i]];
        }
    }

    first() {
        return this.entries.length ? this.startOf(this.order[0]) : undefined;
    }

    startOf(entry) {
        return { entry, song: this.allSongs ? 1 : this.entries[entry].startSong };
    }

    // The position after (step 1) or before (step -1) at; undefined past
    // either end of the list unless it repeats.
    move(at, step) {
        const tune = this.entries[at.entry];
        if (this.allSongs && at.song + step >= 1 && at.song + step <= tune.songs) {
            return { entry: at.entry, song: at.song + step };
        }
        let place = this.order.indexOf(at.entry) + step;
        if (place < 0 || place >= this.order.length) {
            if (!this.repeat) return undefined;
            if (step > 0 && this.shuffle) this.reorder();
            place = step > 0 ? 0 : this.order.length - 1;
        }
        const entry = this.order[place];
        if (step > 0 || !this.allSongs) return this.startOf(entry);
        return { entry, song: this.entries[entry].songs };
    }
}

// The page's play order and its reading of the song-length database, under
// Node: the parts of the play list that need no browser.
import assert from 'node:assert/strict';
import { resolve } from 'node:path';
import { test } from 'node:test';

import { site } from './support.mjs';

const { PlayOrder, parseSongLengths } = await import(resolve(site, 'play_list.js'));

test('song lengths are read as the database writes them; other lines are passed over', () => {
    const md5 = (digit) => digit.repeat(32);
    const text = [
        '[Database]',
        '; /MUSICIANS/A/tune.sid',
        `${md5('a')}=0:46(G) 1:02.5 0:00`, // attribute letters ignored; .5 is 500 ms; 0:00 unknown
        `${md5('B')}=3:07.123\r`, // upper-case MD5 and CR LF
        `${md5('c')}=1:60`, // seconds 60: not a length, the line is passed over
        `${md5('d')}=1:00`,
        `${md5('d')}=2:00`, // a later line for the same MD5 wins
        '[Other]',
        `${md5('e')}=1:00`, // another section
    ].join('\n');
    const lengths = parseSongLengths(text);
    assert.deepEqual([...lengths], [
        [md5('a'), [46000, 62500, 0]],
        [md5('b'), [187123]],
        [md5('d'), [120000]],
    ]);
});

test('next and previous walk songs and tunes as the options say', () => {
    // Three tunes: 2 songs starting at 2, 1 song, 3 songs starting at 1.
    const entries = [{ songs: 2, startSong: 2 }, { songs: 1, startSong: 1 }, { songs: 3, startSong: 1 }];
    const cases = [
        { options: {}, at: { entry: 0, song: 2 }, step: 1, to: { entry: 1, song: 1 } },
        { options: {}, at: { entry: 2, song: 1 }, step: 1, to: undefined }, // the list's end
        { options: {}, at: { entry: 1, song: 1 }, step: -1, to: { entry: 0, song: 2 } }, // the start song
        { options: { repeat: true }, at: { entry: 2, song: 1 }, step: 1, to: { entry: 0, song: 2 } },
        { options: { repeat: true }, at: { entry: 0, song: 2 }, step: -1, to: { entry: 2, song: 1 } },
        { options: { allSongs: true }, at: { entry: 0, song: 1 }, step: 1, to: { entry: 0, song: 2 } },
        { options: { allSongs: true }, at: { entry: 0, song: 2 }, step: 1, to: { entry: 1, song: 1 } },
        { options: { allSongs: true }, at: { entry: 2, song: 1 }, step: -1, to: { entry: 1, song: 1 } },
        { options: { allSongs: true }, at: { entry: 1, song: 1 }, step: -1, to: { entry: 0, song: 2 } }, // its last
        { options: { allSongs: true }, at: { entry: 2, song: 3 }, step: 1, to: undefined },
    ];
    for (const { options, at, step, to } of cases) {
        const order = Object.assign(new PlayOrder(), options);
        order.add(entries);
        assert.deepEqual(order.move(at, step), to, JSON.stringify({ options, at, step }));
    }
});

test('shuffle plays every tune once a round', () => {
    const order = Object.assign(new PlayOrder(), { shuffle: true });
    order.add(Array.from({ length: 5 }, () => ({ songs: 1, startSong: 1 })));
    const played = [];
    for (let at = order.first(); at; at = order.move(at, 1)) played.push(at.entry);
    assert.deepEqual([...played].sort(), [0, 1, 2, 3, 4]);
});

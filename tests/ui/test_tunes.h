#pragma once
// Our own PSID tunes for the Windows program's tests, assembled by hand so
// that every register frame on the stream can be traced to its source.
#include <cstdint>
#include <string>
#include <vector>

// "melody": one song at 50 Hz. "multisong": three songs, start song 2;
// song 1 at 50 Hz, song 2 at 60 Hz (speed bit, timer never set), song 3 at
// 98.5 Hz (speed bit, timer latch 10000). Rates are a PAL machine's, rounded. Both share one init and one play
// routine:
//   init: voice 1 attack/decay = 0x09 and volume/mode = 0x1F (the init's own
//         frame), and the song index for the play routine;
//   play: voice 1 frequency low = a counter 1, 2, 3, ... (7 bits),
//         voice 1 frequency high = the song index (song 1 gives 0).
// "sweep": two songs of an interrupt-driven tune (header play address 0)
// whose play routine moves the CIA 1 timer latch between 20000 and 16666
// cycles on every call, so its rate goes 49, 59, 49, 59 Hz and the rate label
// is rewritten by the worker nearly every pass.
// "slow": two songs of the shared routines at 15 Hz (speed bits set, timer
// latch $FFFF), 3 Hz at 20 % speed.
// "mus": a version-2 header flagged as MUS data. "zeros": the melody with a
// header that counts 0 songs and names start song 0. "text": not a PSID file.
// Empty for an unknown kind.
std::vector<uint8_t> test_tune(const std::string& kind);

// The texts in the tunes' headers, as the information list must show them.
struct TuneTexts {
    const char* name;
    const char* author;
    const char* released;
};
constexpr TuneTexts melody_texts{"Zarvel Test Melody", "Osket Test Room", "2026 Zarvel tests"};
constexpr TuneTexts sweep_texts{"Zarvel Test Sweep", "Osket Test Room", "2026 Zarvel tests"};
constexpr TuneTexts slow_texts{"Zarvel Test Slow", "Osket Test Room", "2026 Zarvel tests"};
constexpr TuneTexts multisong_texts{"Zarvel Test Multisong", "Osket Test Room", "2026 Zarvel tests"};

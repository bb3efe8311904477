#pragma once
#include <cstdint>

// The player's own register frames, built by hand rather than by a tune: the
// reset frame of every start, the two mute frames of a stop or pause, the
// restore frame of a resume and the state frame of a seek. Each replaces the
// shared SID write log and is encoded into the current stream buffer at once.
#include <cstdint>

struct SidWriteLog;

// The 25 writable SID registers as the current song has left them since its
// start: the reset frame's values, then every store of its init and play
// calls in order. What a synthesizer that heard the whole song from its start
// holds now (before the voice and filter settings, which the encoder applies).
// The second and third chip's registers are kept the same way in extra.
struct SongRegisters {
    uint8_t value[25];
    uint8_t extra[2][25];
    uint8_t* chip(int32_t n) { return n == 0 ? value : extra[n - 1]; }
    const uint8_t* chip(int32_t n) const { return n == 0 ? value : extra[n - 1]; }
};

// The SID chips the loaded tune has (1 to 3), and how many of them are sent
// as they stand now: the first alone unless extra_sids says otherwise. With
// EXTRA_SIDS_PORTS they are encoded as with EXTRA_SIDS_FRAMES, and the
// front end's device hands each chip's frames to its own port.
int32_t tune_sid_count();
int32_t sids_sent();

// What a front end says once when it loads a tune with more than one chip
// while extra_sids is off.
const char* extra_sids_not_played_text();

// Encodes the shared SID write log into the current stream buffer, one frame
// for each chip sent, with the voice and filter settings as they stand now,
// and keeps the first chip's volume as last_volume. False when nothing was
// appended.
bool encode_player_frame();

// Volume 15, no filter mode, all frequencies 0, cutoff at its top, resonance
// and routing off; the voices' control registers stay as they are.
void write_reset_frame();

// The reset, mute and restore frames go to every chip sent.

// saved_volume := last_volume, then register 24 = 0, encoded twice.
void write_mute_frames();

// Register 24 = saved_volume, encoded once.
void write_restore_frame();

// Registers 0..24 as the reset frame sets them, the others 0 (a chip after
// its reset).
void restart_song_registers(SongRegisters& registers);

// Every store of log (registers 0..24 of each chip) into registers, in order.
void take_stores(SongRegisters& registers, const SidWriteLog& log);

// One frame for each chip sent with all 25 registers, so that a synthesizer lands on the song's
// state whatever it held before. A voice whose gate is on gets its control
// register twice, gate off and then the value: the note starts its envelope
// afresh rather than carry on from whatever the synthesizer was playing. The
// log is left empty.
void write_state_frame(const SongRegisters& registers);

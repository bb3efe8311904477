#pragma once
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
struct SongRegisters {
    uint8_t value[25];
};

// Encodes the shared SID write log into the current stream buffer with the
// voice and filter settings as they stand now, and keeps the volume it wrote
// as last_volume. False for an empty log (nothing appended).
bool encode_player_frame();

// Volume 15, no filter mode, all frequencies 0, cutoff at its top, resonance
// and routing off; the voices' control registers stay as they are.
void write_reset_frame();

// saved_volume := last_volume, then register 24 = 0, encoded twice.
void write_mute_frames();

// Register 24 = saved_volume, encoded once.
void write_restore_frame();

// Registers 0..24 as the reset frame sets them, the others 0 (a chip after
// its reset).
void restart_song_registers(SongRegisters& registers);

// Every store of log (registers 0..24) into registers, in order.
void take_stores(SongRegisters& registers, const SidWriteLog& log);

// One frame with all 25 registers, so that a synthesizer lands on the song's
// state whatever it held before. A voice whose gate is on gets its control
// register twice, gate off and then the value: the note starts its envelope
// afresh rather than carry on from whatever the synthesizer was playing. The
// log is left empty.
void write_state_frame(const SongRegisters& registers);

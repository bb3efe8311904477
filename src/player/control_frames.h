#pragma once
#include <cstdint>

// The player's own register frames, built by hand rather than by a tune: the
// reset frame of every start, the two mute frames of a stop or pause, and the
// restore frame of a resume. Each replaces the shared SID write log and is
// encoded into the current stream buffer at once.

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

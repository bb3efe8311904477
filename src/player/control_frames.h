#pragma once
// The player's own register frames, built by hand rather than by a tune: the
// reset frame of every start, the two mute frames of a stop or pause, and the
// restore frame of a resume. Each replaces the shared SID write log and is
// encoded into the current stream buffer at once.

// Volume 15, no filter mode, all frequencies 0, cutoff at its top, resonance
// and routing off; the voices' control registers stay as they are.
void write_reset_frame();

// saved_volume := last_volume, then register 24 = 0, encoded twice.
void write_mute_frames();

// Register 24 = saved_volume, encoded once.
void write_restore_frame();

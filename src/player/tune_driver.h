#pragma once
#include <cstdint>

#include "cpu/cpu_call.h"

// Runs the loaded tune's own routines on the CPU core and settles its play
// rate. The caller serialises these with everything else that touches the
// CPU core and the current stream buffer.

// Init routine for player_state.current_song, with CIA 1 timer A's latch as
// the machine starts it, and sets the play period. A tune that drives itself
// (machine_tune.h) starts on the machine instead and runs to its first frame.
CpuCallResult init_tune();

// The play period for song n after an init, on the clock the header's video
// standard names: CIA 1 timer A when the song's speed bit says so, else the
// video frame (psid_timing.h).
void update_play_rate(int32_t song);

// Encodes the previous call's SID writes into the current stream buffer, then
// runs the play routine once (play_call).
CpuCallResult play_step();

// The play routine once, without encoding anything; for a tune that drives
// itself, the machine to its next frame.
CpuCallResult play_call();

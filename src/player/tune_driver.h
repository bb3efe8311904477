#pragma once
#include <cstdint>

#include "cpu/cpu_call.h"

// Runs the loaded tune's own routines on the CPU core and settles its play
// rate. The caller serialises these with everything else that touches the
// CPU core and the current stream buffer.

// Init routine for player_state.current_song, with CIA 1 timer A's latch as
// the machine starts it; resolves an interrupt-driven tune's play address and
// sets the play period.
CpuCallResult init_tune();

// The play period for song n after an init, on the clock the header's video
// standard names: CIA 1 timer A when the song's speed bit or irq_mode says so,
// else the video frame (psid_timing.h).
void update_play_rate(int32_t song);

// Encodes the previous call's SID writes into the current stream buffer, then
// runs the play routine once (play_call).
CpuCallResult play_step();

// The play routine once, without encoding anything: in irq_mode the stack is
// kept where it was and the period follows the timer as the call left it.
CpuCallResult play_call();

#pragma once
#include <cstdint>

#include "cpu/cpu_call.h"

// Runs the loaded tune's own routines on the CPU core and settles its play
// rate. The caller serialises these with everything else that touches the
// CPU core and the current stream buffer.

// Init routine for player_state.current_song; resolves an interrupt-driven
// tune's play address and sets play_rate_hz.
CpuCallResult init_tune();

// play_rate_hz for song n after an init: the CIA 1 timer A latch when the
// song's speed bit or irq_mode says so (a latch of 0: the video frame rate
// with the raster interrupt on, else 60 Hz), else the video frame rate.
void update_play_rate(int32_t song);

// Encodes the previous call's SID writes into the current stream buffer, then
// runs the play routine once (play_call).
CpuCallResult play_step();

// The play routine once, without encoding anything: in irq_mode the stack is
// kept where it was and the rate follows the timer rule.
CpuCallResult play_call();

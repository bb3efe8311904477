#pragma once
#include <cstdint>

#include "cpu/memory_image.h"
#include "machine/c64_clock.h"

// How often a C64 calls a PSID tune's play routine, in cycles of its clock.
// The header's speed bit for the song says the CIA 1 timer A interrupt calls
// it; otherwise the video chip's frame does. (A tune that installs its own
// interrupt routine runs on the machine, which needs no such rule.)
enum class PsidCaller {
    video_frame,  // once a frame
    cia_timer,    // at every underflow of CIA 1 timer A
};

// Cycles between two play calls, from the timer latch and the video chip's
// interrupt enable register as the tune has left them in memory:
// - video_frame: one frame.
// - cia_timer: latch + 1. A tune that leaves the latch at the value the
//   machine starts with and switches the raster interrupt on is paced by the
//   screen instead: once a frame.
// Never less than one millisecond of the clock, the stream's finest step: a
// latch of 0 (or a few cycles) would otherwise ask for a call every cycle or
// two, which no stream can deliver and which would keep the player busy with
// nothing but play calls.
int32_t psid_period_cycles(const C64Clock& clock, PsidCaller caller, const MemoryImage& memory);


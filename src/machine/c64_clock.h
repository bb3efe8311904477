#pragma once
#include <cstdint>

// The C64's master timing: the CPU clock, and the raster beam that the video
// chip sweeps once a frame in whole CPU cycles. Everything that happens at a
// C64's pace (a frame, a CIA timer's underflow) is counted in these cycles.
struct C64Clock {
    int32_t cpu_hz;           // CPU cycles per second
    int32_t cycles_per_line;  // CPU cycles per raster line
    int32_t lines_per_frame;  // raster lines per video frame
};

// The 6569 (PAL) and 6567R8 (NTSC) video chips; the CPU clock is the dot
// clock divided by 8: 17.734475 MHz x 4 / 72 and 14.31818 MHz / 14.
inline constexpr C64Clock pal_clock{985'248, 63, 312};
inline constexpr C64Clock ntsc_clock{1'022'727, 65, 263};

// Cycles from one frame's start to the next: 19,656 PAL, 17,095 NTSC.
constexpr int32_t frame_cycles(const C64Clock& clock) { return clock.cycles_per_line * clock.lines_per_frame; }

// The machine a PSID tune asks for in its header flags, bits 2-3: 10 is NTSC;
// 01 PAL, 11 (either) and 00 (unknown) play on the far commoner PAL machine.
constexpr C64Clock clock_for_psid_flags(uint16_t flags) {
    constexpr uint16_t video_bits = 0x000C;
    constexpr uint16_t ntsc_only = 0x0008;
    return (flags & video_bits) == ntsc_only ? ntsc_clock : pal_clock;
}

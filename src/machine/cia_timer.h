#pragma once
#include <cstdint>

#include "cpu/memory_image.h"
#include "machine/c64_clock.h"

// CIA 1's timer A, the timer the C64's system interrupt runs on and which most
// tunes reprogram for their own rate. In continuous mode it counts the latch
// down to 0 once a cycle and reloads it on the next, so it underflows, and
// interrupts, every latch + 1 cycles.
//
// Only the latch is modelled, in the memory image at $DC04 (low) and $DC05
// (high): the value the tune stored there is the value the timer reloads.

constexpr uint16_t cia1_timer_a_latch_address = 0xDC04;

inline uint16_t cia1_timer_a_latch(const MemoryImage& memory) {
    return static_cast<uint16_t>(memory.bytes[cia1_timer_a_latch_address] |
                                 memory.bytes[cia1_timer_a_latch_address + 1] << 8);
}

inline void set_cia1_timer_a_latch(MemoryImage& memory, uint16_t latch) {
    memory.bytes[cia1_timer_a_latch_address] = static_cast<uint8_t>(latch);
    memory.bytes[cia1_timer_a_latch_address + 1] = static_cast<uint8_t>(latch >> 8);
}

// The latch the KERNAL sets at power-on for its 60 Hz interrupt, a value per
// machine: $4025 on PAL (59.996 Hz) and $4295 on NTSC (59.998 Hz).
constexpr uint16_t cia_start_latch(const C64Clock& clock) {
    return clock.cpu_hz == ntsc_clock.cpu_hz ? 0x4295 : 0x4025;
}

// Cycles between two underflows.
constexpr int32_t cia_timer_period_cycles(uint16_t latch) { return int32_t{latch} + 1; }

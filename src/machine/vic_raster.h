#pragma once
#include <cstdint>

// The part of the VIC-II that music depends on: the raster counter and its
// interrupt. The beam runs through lines_per_frame lines of cycles_per_line
// cycles each (PAL 312 x 63, NTSC 263 x 65); when it enters the line held in
// $D012 and bit 7 of $D011 the chip latches bit 0 of $D019, and raises the
// CPU's IRQ line while bit 0 of $D01A allows it. The other registers (sprite,
// colour and screen settings) keep what a tune stores; nothing is drawn and
// no bad lines steal cycles from the CPU.

enum VicRegister : uint8_t {
    VIC_CONTROL_1 = 0x11,   // bit 7: bit 8 of the raster line
    VIC_RASTER = 0x12,
    VIC_IRQ_FLAGS = 0x19,   // write 1s to acknowledge
    VIC_IRQ_ENABLE = 0x1A,
};

constexpr uint8_t vic_raster_bit = 0x01;

struct VicRaster {
    uint32_t cycles_per_line;  // 63 PAL, 65 NTSC
    uint32_t lines_per_frame;  // 312 PAL, 263 NTSC
    uint32_t frame_cycle;      // cycles since line 0 began, below cycles_per_line * lines_per_frame
    uint16_t compare_line;     // the line that interrupts, 0..511
    uint8_t irq_flags;         // $D019's latched sources, bits 0-3
    uint8_t irq_enable;        // $D01A, bits 0-3
    uint8_t registers[64];     // the other registers as last stored
};

void vic_init(VicRaster* vic, uint32_t cycles_per_line, uint32_t lines_per_frame);
// Beam at the start of line 0, no interrupt enabled or pending; the
// geometry stays.
void vic_reset(VicRaster* vic);

inline uint32_t vic_raster_line(const VicRaster* vic) { return vic->frame_cycle / vic->cycles_per_line; }
inline uint32_t vic_cycles_per_frame(const VicRaster* vic) { return vic->cycles_per_line * vic->lines_per_frame; }

uint8_t vic_read(const VicRaster* vic, uint8_t reg);
// The same read as the chip would answer it cycles later, without ticking.
uint8_t vic_read_ahead(const VicRaster* vic, uint8_t reg, uint64_t cycles);
void vic_write(VicRaster* vic, uint8_t reg, uint8_t value);

// Advances the beam by cycles, latching the raster source for every start
// of the compare line it passes. Returns how many frames began (line 0
// entered) on the way.
uint32_t vic_tick(VicRaster* vic, uint32_t cycles);

inline bool vic_interrupt(const VicRaster* vic) { return (vic->irq_flags & vic->irq_enable & 0x0F) != 0; }

// Cycles until the beam next enters the compare line (UINT32_MAX when the
// line is past the frame's last), and until the next frame begins.
uint32_t vic_cycles_to_compare_line(const VicRaster* vic);
inline uint32_t vic_cycles_to_frame(const VicRaster* vic) { return vic_cycles_per_frame(vic) - vic->frame_cycle; }

#pragma once
#include <cstdint>

#include "cpu/memory_image.h"

// The video chip's interrupt enable register, $D01A, as the tune last stored
// it; bit 0 lets the raster line compare interrupt through.
constexpr uint16_t vic_irq_enable_address = 0xD01A;
constexpr uint8_t vic_raster_irq_bit = 0x01;

inline bool vic_raster_irq_enabled(const MemoryImage& memory) {
    return (memory.bytes[vic_irq_enable_address] & vic_raster_irq_bit) != 0;
}

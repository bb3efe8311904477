#include "machine/vic_raster.h"

#include <climits>
#include <cstring>

void vic_init(VicRaster* vic, uint32_t cycles_per_line, uint32_t lines_per_frame) {
    std::memset(vic, 0, sizeof *vic);
    vic->cycles_per_line = cycles_per_line;
    vic->lines_per_frame = lines_per_frame;
    vic_reset(vic);
}

void vic_reset(VicRaster* vic) {
    vic->frame_cycle = 0;
    vic->compare_line = 0;
    vic->irq_flags = 0;
    vic->irq_enable = 0;
    std::memset(vic->registers, 0, sizeof vic->registers);
}

namespace {

uint8_t read_at_line(const VicRaster* vic, uint8_t reg, uint32_t line) {
    switch (reg & 0x3F) {
    case VIC_CONTROL_1: return static_cast<uint8_t>((vic->registers[VIC_CONTROL_1] & 0x7F) | (line & 0x100) >> 1);
    case VIC_RASTER: return static_cast<uint8_t>(line);
    // Unused bits read as 1; bit 7 shows the line.
    case VIC_IRQ_FLAGS: return static_cast<uint8_t>(0x70 | vic->irq_flags | (vic_interrupt(vic) ? 0x80 : 0));
    case VIC_IRQ_ENABLE: return static_cast<uint8_t>(0xF0 | vic->irq_enable);
    default: return vic->registers[reg & 0x3F];
    }
}

}  // namespace

uint8_t vic_read(const VicRaster* vic, uint8_t reg) { return read_at_line(vic, reg, vic_raster_line(vic)); }

uint8_t vic_read_ahead(const VicRaster* vic, uint8_t reg, uint64_t cycles) {
    uint64_t frame_cycle = (vic->frame_cycle + cycles) % vic_cycles_per_frame(vic);
    return read_at_line(vic, reg, static_cast<uint32_t>(frame_cycle / vic->cycles_per_line));
}

void vic_write(VicRaster* vic, uint8_t reg, uint8_t value) {
    switch (reg & 0x3F) {
    case VIC_CONTROL_1:
        vic->registers[VIC_CONTROL_1] = value;
        vic->compare_line = static_cast<uint16_t>((vic->compare_line & 0xFF) | (value & 0x80) << 1);
        break;
    case VIC_RASTER: vic->compare_line = static_cast<uint16_t>((vic->compare_line & 0x100) | value); break;
    case VIC_IRQ_FLAGS: vic->irq_flags &= static_cast<uint8_t>(~value & 0x0F); break;
    case VIC_IRQ_ENABLE: vic->irq_enable = value & 0x0F; break;
    default: vic->registers[reg & 0x3F] = value; break;
    }
}

uint32_t vic_cycles_to_compare_line(const VicRaster* vic) {
    if (vic->compare_line >= vic->lines_per_frame) return UINT32_MAX;
    uint32_t target = vic->compare_line * vic->cycles_per_line;
    uint32_t frame = vic_cycles_per_frame(vic);
    // Already inside the line's first cycle counts as entered: the next entry is a frame on.
    return target > vic->frame_cycle ? target - vic->frame_cycle : target + frame - vic->frame_cycle;
}

uint32_t vic_tick(VicRaster* vic, uint32_t cycles) {
    uint32_t frame = vic_cycles_per_frame(vic);
    uint32_t to_compare = vic_cycles_to_compare_line(vic);
    if (cycles >= to_compare) vic->irq_flags |= vic_raster_bit;
    uint32_t total = vic->frame_cycle + cycles;
    vic->frame_cycle = total % frame;
    return total / frame;
}

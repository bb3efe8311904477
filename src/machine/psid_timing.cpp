#include "machine/psid_timing.h"

#include "machine/cia_timer.h"
#include "machine/vic_irq.h"

int32_t psid_period_cycles(const C64Clock& clock, PsidCaller caller, const MemoryImage& memory) {
    if (caller == PsidCaller::video_frame) return frame_cycles(clock);
    uint16_t latch = cia1_timer_a_latch(memory);
    if (latch == cia_start_latch(clock) && vic_raster_irq_enabled(memory)) return frame_cycles(clock);
    const int32_t shortest = (clock.cpu_hz + 999) / 1000;
    int32_t cycles = cia_timer_period_cycles(latch);
    return cycles < shortest ? shortest : cycles;
}

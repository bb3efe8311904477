// When a C64 calls a PSID tune's play routine, in cycles of its clock.
#include <gtest/gtest.h>

#include <cstring>

#include "machine/c64_clock.h"
#include "machine/cia_timer.h"
#include "machine/psid_timing.h"
#include "machine/vic_irq.h"

namespace {

MemoryImage memory;

TEST(C64Clock, TheHeadersVideoBitsPickTheMachine) {
    // PSID flags bits 2-3: 01 PAL, 10 NTSC, 11 either and 00 unknown play on PAL.
    struct Case { uint16_t flags; int32_t cpu_hz; int32_t frame; };
    const Case cases[] = {
        {0x0000, 985'248, 19'656}, {0x0004, 985'248, 19'656}, {0x0008, 1'022'727, 17'095},
        {0x000C, 985'248, 19'656}, {0x0032, 985'248, 19'656}, {0x003A, 1'022'727, 17'095},
    };
    for (const Case& c : cases) {
        C64Clock clock = clock_for_psid_flags(c.flags);
        EXPECT_EQ(clock.cpu_hz, c.cpu_hz) << std::hex << c.flags;
        EXPECT_EQ(frame_cycles(clock), c.frame) << std::hex << c.flags;  // 63 x 312, 65 x 263
    }
}

TEST(PsidTiming, PeriodOfEachCaller) {
    // Expected values by hand: a frame is 63 x 312 or 65 x 263 cycles; the
    // timer underflows every latch + 1 cycles; the machine starts with $4025
    // (PAL) or $4295 (NTSC); the shortest period is 1 ms of the clock,
    // 985.248 cycles rounded up.
    struct Case {
        const char* what;
        C64Clock clock;
        PsidCaller caller;
        uint16_t latch;
        uint8_t vic_irq_enable;
        int32_t cycles;
    };
    const Case cases[] = {
        {"PAL frame", pal_clock, PsidCaller::video_frame, 0x4025, 0x00, 19'656},
        {"NTSC frame", ntsc_clock, PsidCaller::video_frame, 0x4295, 0x00, 17'095},
        {"frame, whatever the latch", pal_clock, PsidCaller::video_frame, 0x03E8, 0x00, 19'656},
        {"timer 19,704", pal_clock, PsidCaller::cia_timer, 19'704, 0x00, 19'705},
        {"timer $FFFF", pal_clock, PsidCaller::cia_timer, 0xFFFF, 0x00, 65'536},
        {"PAL start latch", pal_clock, PsidCaller::cia_timer, 0x4025, 0x00, 16'422},
        {"NTSC start latch", ntsc_clock, PsidCaller::cia_timer, 0x4295, 0x00, 17'046},
        {"PAL start latch, raster on", pal_clock, PsidCaller::cia_timer, 0x4025, 0x01, 19'656},
        {"NTSC start latch, raster on", ntsc_clock, PsidCaller::cia_timer, 0x4295, 0x81, 17'095},
        {"PAL start latch, another VIC interrupt", pal_clock, PsidCaller::cia_timer, 0x4025, 0x02, 16'422},
        {"NTSC's start latch on PAL, raster on", pal_clock, PsidCaller::cia_timer, 0x4295, 0x01, 17'046},
        {"a latch the tune set, raster on", pal_clock, PsidCaller::cia_timer, 0x2710, 0x01, 10'001},
        {"latch 0", pal_clock, PsidCaller::cia_timer, 0x0000, 0x00, 986},
        {"latch 985", pal_clock, PsidCaller::cia_timer, 985, 0x00, 986},
        {"latch 986", pal_clock, PsidCaller::cia_timer, 986, 0x00, 987},
        {"latch 0 on NTSC", ntsc_clock, PsidCaller::cia_timer, 0x0000, 0x00, 1'023},
    };
    for (const Case& c : cases) {
        std::memset(memory.bytes, 0, sizeof memory.bytes);
        set_cia1_timer_a_latch(memory, c.latch);
        memory.bytes[vic_irq_enable_address] = c.vic_irq_enable;
        EXPECT_EQ(psid_period_cycles(c.clock, c.caller, memory), c.cycles) << c.what;
    }
}

}  // namespace

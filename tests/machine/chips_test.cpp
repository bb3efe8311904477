// CIA and VIC raster behaviour at the chip level, against the 6526 and
// 6569/6567 data sheets' rules: a running timer underflows every latch + 1
// cycles; the raster interrupt latches when the beam enters the compare line.
#include <gtest/gtest.h>

#include "machine/cia.h"
#include "machine/vic_raster.h"

namespace {

struct CiaWrite {
    uint8_t reg;
    uint8_t value;
};

// The chip one cycle at a time, for comparing with a batched tick.
void tick_one_by_one(Cia* cia, uint32_t cycles) {
    for (uint32_t i = 0; i < cycles; ++i) cia_tick(cia, 1);
}

TEST(Cia, TimersCountAndInterruptAsTheDataSheetSays) {
    struct Case {
        const char* what;
        std::vector<CiaWrite> writes;
        uint32_t cycles;
        uint16_t counter_a;
        uint16_t counter_b;
        uint8_t icr;  // as read: pending sources, bit 7 for the line
        bool line;
    };
    const Case cases[] = {
        // Latch 19,704 ($4CF8): the first underflow on cycle 19,705.
        {"one cycle before the underflow", {{4, 0xF8}, {5, 0x4C}, {0x0D, 0x81}, {0x0E, 0x11}}, 19704, 0, 0xFFFF, 0x00, false},
        {"the underflow reloads the latch", {{4, 0xF8}, {5, 0x4C}, {0x0D, 0x81}, {0x0E, 0x11}}, 19705, 0x4CF8, 0xFFFF, 0x81, true},
        // Latch 99: underflows on cycles 100, 200, ... 1000, and the counter is back at 99.
        {"ten periods in one tick", {{4, 99}, {5, 0}, {0x0E, 0x11}}, 1000, 99, 0xFFFF, 0x01, false},
        {"a masked source pends without the line", {{4, 9}, {5, 0}, {0x0E, 0x11}}, 10, 9, 0xFFFF, 0x01, false},
        // One-shot: one underflow, then the timer stops holding its latch.
        {"one-shot stops at its underflow", {{4, 9}, {5, 0}, {0x0E, 0x19}}, 50, 9, 0xFFFF, 0x01, false},
        // B counts A's underflows (CRB $41): A every 10 cycles, B's latch 2
        // underflows on A's third underflow, cycle 30.
        {"B counting A", {{4, 9}, {5, 0}, {6, 2}, {7, 0}, {0x0D, 0x82}, {0x0F, 0x51}, {0x0E, 0x11}}, 30, 9, 2, 0x83, true},
        {"B counting A, one cycle early", {{4, 9}, {5, 0}, {6, 2}, {7, 0}, {0x0D, 0x82}, {0x0F, 0x51}, {0x0E, 0x11}}, 29, 0, 0, 0x01, false},
        // Clearing a mask bit (bit 7 clear) drops the line, not the pending source.
        {"mask bit cleared", {{4, 9}, {5, 0}, {0x0D, 0x81}, {0x0D, 0x01}, {0x0E, 0x11}}, 10, 9, 0xFFFF, 0x01, false},
        {"stopped timers do not count", {{4, 9}, {5, 0}, {0x0D, 0x83}}, 1000, 9, 0xFFFF, 0x00, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Cia batched, stepped;
        cia_init(&batched);
        for (const CiaWrite& w : c.writes) cia_write(&batched, w.reg, w.value);
        stepped = batched;
        cia_tick(&batched, c.cycles);
        tick_one_by_one(&stepped, c.cycles);
        for (Cia* cia : {&batched, &stepped}) {
            EXPECT_EQ(cia->timer_a.counter, c.counter_a);
            EXPECT_EQ(cia->timer_b.counter, c.counter_b);
            EXPECT_EQ(cia_interrupt(cia), c.line);
            EXPECT_EQ(cia_read(cia, CIA_ICR), c.icr);
            EXPECT_EQ(cia_read(cia, CIA_ICR), 0) << "a read clears the ICR";
        }
    }
}

TEST(Cia, NextInterruptIsWhereTheTickRaisesTheLine) {
    Cia cia;
    cia_init(&cia);
    for (CiaWrite w : {CiaWrite{4, 0x25}, {5, 0x40}, {0x0D, 0x81}, {0x0E, 0x11}}) cia_write(&cia, w.reg, w.value);
    uint32_t to_irq = cia_cycles_to_interrupt(&cia);
    EXPECT_EQ(to_irq, 0x4025u + 1);  // a fresh load: latch + 1 cycles
    cia_tick(&cia, to_irq - 1);
    EXPECT_FALSE(cia_interrupt(&cia));
    cia_tick(&cia, 1);
    EXPECT_TRUE(cia_interrupt(&cia));
}

TEST(VicRaster, RasterLineAndInterrupt) {
    struct Case {
        const char* what;
        uint32_t cycles_per_line, lines;
        uint8_t d011, d012;
        uint32_t cycles;
        uint8_t raster_read;  // $D012
        uint8_t d011_bit7;
        bool flagged;
        uint32_t frames_begun;
    };
    const Case cases[] = {
        // Line $80 of 63 cycles begins at cycle 128 x 63 = 8,064.
        {"PAL, one cycle before line $80", 63, 312, 0x1B, 0x80, 8063, 0x7F, 0, false, 0},
        {"PAL, entering line $80", 63, 312, 0x1B, 0x80, 8064, 0x80, 0, true, 0},
        // Line 300 = $12C: $D012 shows $2C, $D011 bit 7 the ninth bit.
        {"PAL, line 300", 63, 312, 0x9B, 0x2C, 300 * 63, 0x2C, 0x80, true, 0},
        // Line $137 = 311 is PAL's last; NTSC has 263 lines and never gets there.
        {"PAL, line $137 exists", 63, 312, 0x9B, 0x37, 312 * 63, 0x00, 0, true, 1},
        {"NTSC, line $137 never comes", 65, 263, 0x9B, 0x37, 263 * 65 * 3, 0x00, 0, false, 3},
        {"NTSC frame of 17,095 cycles", 65, 263, 0x1B, 0x00, 17095, 0x00, 0, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VicRaster vic;
        vic_init(&vic, c.cycles_per_line, c.lines);
        vic_write(&vic, VIC_CONTROL_1, c.d011);
        vic_write(&vic, VIC_RASTER, c.d012);
        vic_write(&vic, VIC_IRQ_ENABLE, 0x01);
        EXPECT_EQ(vic_tick(&vic, c.cycles), c.frames_begun);
        EXPECT_EQ(vic_read(&vic, VIC_RASTER), c.raster_read);
        EXPECT_EQ(vic_read(&vic, VIC_CONTROL_1) & 0x80, c.d011_bit7);
        EXPECT_EQ(vic_interrupt(&vic), c.flagged);
        EXPECT_EQ(vic_read(&vic, VIC_IRQ_FLAGS), c.flagged ? 0xF1 : 0x70);
        vic_write(&vic, VIC_IRQ_FLAGS, 0x01);
        EXPECT_FALSE(vic_interrupt(&vic)) << "writing 1 acknowledges";
    }
}

}  // namespace

// The core as a machine drives it: one instruction at a time or up to a
// cycle, interrupts, pc wrapping at the top, a JAM stopping the chip, and a
// bus that sees every access with its cycle. Cycle counts are the chip's
// documented timings (MOS programming manual; 7 for an interrupt entry).
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "cpu/cpu_run.h"

namespace {

struct Write {
    uint16_t address;
    uint8_t value;
    uint64_t cycle;
    bool operator==(const Write&) const = default;
};

// 64 KB of plain memory that remembers its writes outside the stack page.
struct RecordingBus {
    uint8_t* ram;
    std::vector<Write>* writes;
    uint8_t read(uint16_t address, uint64_t) const { return ram[address]; }
    void write(uint16_t address, uint8_t value, uint64_t cycle) {
        ram[address] = value;
        if ((address >> 8) != 1) writes->push_back({address, value, cycle});
    }
};

class FreeRunning : public ::testing::Test {
protected:
    uint8_t ram[65536] = {};
    std::vector<Write> writes;
    RecordingBus bus{ram, &writes};
    CpuState s{};

    void place(uint16_t address, std::initializer_list<uint8_t> bytes) {
        for (uint8_t b : bytes) ram[address++] = b;
    }
    void SetUp() override {
        s.sp = 0xFF;
        s.pc = 0x1000;
        place(0xFFFE, {0x00, 0x20});  // IRQ and BRK at 0x2000
        place(0xFFFA, {0x00, 0x30});  // NMI at 0x3000
    }
};

TEST_F(FreeRunning, RunUntilStopsAtTheFirstInstructionBoundaryAtOrPastTheCycle) {
    place(0x1000, {
        0xA9, 0x05,        // 1000 LDA #$05      2 cycles
        0x8D, 0x18, 0xD4,  // 1002 STA $D418     4, the write in its last cycle
        0x4C, 0x00, 0x10,  // 1005 JMP $1000     3
    });
    cpu_run_until(s, bus, 5);  // LDA ends at 2, STA at 6
    EXPECT_EQ(6u, s.cycles);
    EXPECT_EQ(0x1005, s.pc);
    EXPECT_EQ((std::vector<Write>{{0xD418, 0x05, 6}}), writes);
    cpu_run_until(s, bus, 6 + 3 * 9);  // three whole loops of 9 cycles
    EXPECT_EQ(33u, s.cycles);
    EXPECT_EQ(0x1005, s.pc);
    cpu_step(s, bus);
    EXPECT_EQ(36u, s.cycles);
    EXPECT_EQ(0x1000, s.pc);
}

// The unmodified byte goes out one cycle before the result, as on the chip.
TEST_F(FreeRunning, ReadModifyWriteWritesTheOldByteThenTheNew) {
    ram[0xD404] = 0x40;
    place(0x1000, {0xEE, 0x04, 0xD4});  // INC $D404    6 cycles
    cpu_step(s, bus);
    EXPECT_EQ((std::vector<Write>{{0xD404, 0x40, 5}, {0xD404, 0x41, 6}}), writes);
}

TEST_F(FreeRunning, InterruptsPushPcAndStatusWithBClearAndSetI) {
    struct Case {
        const char* name;
        bool nmi;
        uint16_t irq_disable;
        bool taken;
        uint16_t target;
    };
    const Case cases[] = {
        {"IRQ with I clear", false, 0, true, 0x2000},
        {"IRQ with I set waits", false, 1, false, 0x1234},
        {"NMI ignores I", true, 1, true, 0x3000},
    };
    for (const Case& c : cases) {
        CpuState r{};
        r.sp = 0xFF;
        r.pc = 0x1234;
        r.carry = 1;
        r.zero_source = 1;
        r.irq_disable = c.irq_disable;
        if (c.nmi) {
            cpu_nmi(r, bus);
        } else {
            EXPECT_EQ(c.taken, cpu_irq(r, bus)) << c.name;
        }
        EXPECT_EQ(c.target, r.pc) << c.name;
        EXPECT_EQ(c.taken ? 7u : 0u, r.cycles) << c.name;
        if (!c.taken) continue;
        EXPECT_EQ(0xFC, r.sp) << c.name;
        EXPECT_EQ(0x12, ram[0x01FF]) << c.name;
        EXPECT_EQ(0x34, ram[0x01FE]) << c.name;
        // N V 1 B D I Z C: bit 5, I as it was, C; B clear.
        EXPECT_EQ(0x21 | (c.irq_disable ? 0x04 : 0), ram[0x01FD]) << c.name;
        EXPECT_EQ(1, r.irq_disable) << c.name;
    }
}

TEST_F(FreeRunning, PcWrapsAtTheTopOfMemory) {
    s.pc = 0xFFFE;
    place(0xFFFE, {0xA9, 0x07});  // LDA #$07 at the top
    place(0x0000, {0xE8});        // INX at the bottom
    cpu_step(s, bus);
    EXPECT_EQ(0, s.pc);
    cpu_step(s, bus);
    EXPECT_EQ(7, s.a);
    EXPECT_EQ(1, s.x);
    EXPECT_EQ(1, s.pc);
}

TEST_F(FreeRunning, JamStopsTheChipWhileTheClockRunsOn) {
    place(0x1000, {0xE8, 0x02, 0xE8});  // INX; JAM; INX
    cpu_run_until(s, bus, 1000);
    EXPECT_EQ(1, s.x);
    EXPECT_EQ(1, s.jammed);
    EXPECT_EQ(0x1001, s.pc);
    EXPECT_EQ(1000u, s.cycles);
    EXPECT_FALSE(cpu_irq(s, bus));
    cpu_step(s, bus);
    EXPECT_EQ(1, s.x);
}

}  // namespace

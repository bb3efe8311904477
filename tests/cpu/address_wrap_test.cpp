// Addresses formed past 0xFFFF and instructions at the top of memory: every
// access wraps modulo 65,536, the capture rule sees the wrapped address, and
// nothing reaches outside the image. The random sweep at the end runs under
// the address sanitizer in CI, where any access outside the 64 KB fails.
#include <cstdio>
#include <random>

#include "cpu_test_support.h"

namespace cpu_test {
namespace {

class AddressWrap : public CpuTest {};

TEST_F(AddressWrap, IndexedAbsoluteStoreWrapsToTheBottomAndIsNotRecorded) {
    cpu_state.a = 0x3C;
    cpu_state.x = 0xD5;
    EXPECT_EQ(CPU_RETURNED, run({
        0x9D, 0xFF, 0xFF,  // STA $FFFF,X    0xFFFF + 0xD5 = 0x100D4 -> 0x00D4
        0x60,              // RTS
    }));
    EXPECT_EQ(0x3C, mem(0x00D4));
    EXPECT_EQ(0x00, mem(0xD4D4));
    EXPECT_EQ(Log{}, logged());
}

TEST_F(AddressWrap, IndexedAbsoluteAndIndirectReadsWrap) {
    mem(0x0001) = 0x11;
    mem(0x00FE) = 0x22;
    place(0x0080, {0xF0, 0xFF});  // pointer 0xFFF0
    cpu_state.y = 0x12;           // 0xFFF0 + 0x12 = 0x10002 -> 0x0002
    mem(0x0002) = 0x33;
    EXPECT_EQ(CPU_RETURNED, run({
        0xB9, 0xEF, 0xFF,  // LDA $FFEF,Y    -> 0x0001
        0x85, 0x40,        // STA $40
        0xA2, 0xFF,        // LDX #$FF
        0xBD, 0xFF, 0xFF,  // LDA $FFFF,X    -> 0x00FE
        0x85, 0x41,        // STA $41
        0xB1, 0x80,        // LDA ($80),Y    -> 0x0002
        0x85, 0x42,        // STA $42
        0x60,              // RTS
    }));
    EXPECT_EQ(0x11, mem(0x40));
    EXPECT_EQ(0x22, mem(0x41));
    EXPECT_EQ(0x33, mem(0x42));
}

TEST_F(AddressWrap, ReadModifyWriteAtAWrappedAddress) {
    mem(0x0010) = 0x7F;
    cpu_state.x = 0x11;
    EXPECT_EQ(CPU_RETURNED, run({
        0xFE, 0xFF, 0xFF,  // INC $FFFF,X    -> 0x0010
        0x60,              // RTS
    }));
    EXPECT_EQ(0x80, mem(0x0010));
    EXPECT_TRUE(flag_n());
}

TEST_F(AddressWrap, IndirectIndexedStoreWrapsAndIsNotRecorded) {
    place(0x0080, {0xFF, 0xFF});  // pointer 0xFFFF
    cpu_state.a = 0x5D;
    cpu_state.y = 0xD5;
    EXPECT_EQ(CPU_RETURNED, run({
        0x91, 0x80,  // STA ($80),Y    0xFFFF + 0xD5 -> 0x00D4
        0x60,        // RTS
    }));
    EXPECT_EQ(0x5D, mem(0x00D4));
    EXPECT_EQ(Log{}, logged());
}

// The operand bytes of an instruction at 0xFFFF come from 0x0000 and 0x0001;
// the store lands in the SID area and is recorded there. Afterwards pc is
// past the top and the call is abandoned, its log ended as usual.
TEST_F(AddressWrap, StoreAtTheTopTakesItsAddressFromTheBottom) {
    cpu_state.a = 0x21;
    place(0x0000, {0xD4, 0xD4});  // the operand: 0xD4D4
    mem(0xFFFF) = 0x8D;           // STA $D4D4
    EXPECT_EQ(CPU_ABANDONED, cpu_call(0xFFFF));
    EXPECT_EQ(0x21, mem(0xD4D4));
    EXPECT_EQ((Log{{20, 0x21}}), logged());
    EXPECT_EQ(0x10002, cpu_state.pc);
    EXPECT_EQ(1, cpu_instructions_executed);
}

TEST_F(AddressWrap, ImmediateOperandAtTheTopComesFromAddressZero) {
    mem(0x0000) = 0x9A;
    mem(0xFFFF) = 0xA9;  // LDA #imm, operand at 0x0000
    EXPECT_EQ(CPU_ABANDONED, cpu_call(0xFFFF));
    EXPECT_EQ(0x9A, cpu_state.a);
    EXPECT_EQ(0x10001, cpu_state.pc);
}

TEST_F(AddressWrap, JumpAtTheTopContinuesAtItsWrappedTarget) {
    place(0xFFFE, {
        0x4C, 0x00,  // FFFE JMP $2000, high byte at 0x0000
    });
    mem(0x0000) = 0x20;
    place(0x2000, {0xE8, 0x60});  // INX; RTS
    EXPECT_EQ(CPU_RETURNED, cpu_call(0xFFFE));
    EXPECT_EQ(1, cpu_state.x);
    EXPECT_EQ(2, cpu_state.pc);
}

// JSR at 0xFFFE: its last byte is 0x0000 once wrapped, so that is what it
// pushes, and the RTS comes back to 0x0001, inside the end region.
TEST_F(AddressWrap, SubroutineCallFromTheTopReturnsIntoTheEndRegion) {
    place(0xFFFE, {0x20, 0x00});  // JSR $2000, high byte at 0x0000
    mem(0x0000) = 0x20;
    place(0x2000, {0xE8, 0x60});  // INX; RTS
    EXPECT_EQ(CPU_RETURNED, cpu_call(0xFFFE));
    EXPECT_EQ(0x00, mem(0x01FC));
    EXPECT_EQ(0x00, mem(0x01FB));
    EXPECT_EQ(1, cpu_state.x);
    EXPECT_EQ(1, cpu_state.pc);
    EXPECT_EQ(0xFD, cpu_state.sp);  // the harness's own return address is still there
}

// The pointer's high byte comes from the start of its own page, as on the
// NMOS chip; 0x0000 would be the next address.
TEST_F(AddressWrap, IndirectJumpThroughFFFFTakesItsHighByteFromFF00) {
    mem(0xFFFF) = 0x34;
    mem(0xFF00) = 0x12;
    mem(0x0000) = 0x56;
    place(0x1234, {0xE8, 0x60});  // INX; RTS
    EXPECT_EQ(CPU_RETURNED, run({
        0x6C, 0xFF, 0xFF,  // JMP ($FFFF)
    }));
    EXPECT_EQ(1, cpu_state.x);
}

TEST_F(AddressWrap, BranchesAtTheTop) {
    struct Case {
        const char* name;
        uint16_t at;
        uint8_t opcode, offset;
        int expected_result;
        int32_t expected_pc;
    };
    const Case cases[] = {
        {"BEQ at 0xFFFE taken backwards", 0xFFFE, 0xF0, 0x80, CPU_RETURNED, 2},   // 0x10000 - 128 = 0xFF80
        {"BNE at 0xFFFE not taken", 0xFFFE, 0xD0, 0x80, CPU_ABANDONED, 0x10000},
        {"BEQ at 0xFFFF, offset from 0x0000", 0xFFFF, 0xF0, 0x81, CPU_RETURNED, 2},  // 0x10001 - 127 = 0xFF82
        {"BEQ at 0xFFF0 forward past the top", 0xFFF0, 0xF0, 0x7F, CPU_ABANDONED, 0x10071},
    };
    for (const Case& c : cases) {
        clear_machine();  // Z is set in a fresh process
        mem(c.at) = c.opcode;
        mem(c.at + 1) = c.offset;  // wraps to 0x0000 for a branch at 0xFFFF
        place(0xFF80, {0x60});     // RTS
        place(0xFF82, {0x60});     // RTS
        EXPECT_EQ(c.expected_result, cpu_call(c.at)) << c.name;
        EXPECT_EQ(c.expected_pc, cpu_state.pc) << c.name;
    }
}

TEST_F(AddressWrap, SkippedOperandsPastTheTopAbandon) {
    mem(0xFFFE) = 0x0C;  // NOP abs, operand 0xFFFF and 0x0000
    EXPECT_EQ(CPU_ABANDONED, cpu_call(0xFFFE));
    EXPECT_EQ(0x10001, cpu_state.pc);

    clear_machine();
    cpu_state.decimal = 1;
    mem(0xFFFF) = 0x6D;  // ADC abs with D set: steps over two operand bytes
    EXPECT_EQ(CPU_ABANDONED, cpu_call(0xFFFF));
    EXPECT_EQ(0x10002, cpu_state.pc);
}

// Random code at random entries from random states: whatever it does, the
// call ends with one of its two results, the checks hold, and the log is well
// formed. The sanitizer build turns any access outside the image into a failure.
TEST_F(AddressWrap, RandomCodeNeverLeavesTheImage) {
    std::mt19937 random(0x2A5EED);
    constexpr int trials = 3000;
    int returned = 0, out_of_range = 0, jammed = 0, over_limit = 0, with_log = 0;
    for (int trial = 0; trial < trials; ++trial) {
        for (uint32_t address = 0; address < 0x10000; address += 4) {
            const uint32_t word = random();
            std::memcpy(memory_image.bytes + address, &word, 4);
        }
        const uint32_t r = random();
        cpu_state.a = r;
        cpu_state.x = r >> 8;
        cpu_state.y = r >> 16;
        cpu_state.sp = r >> 24;
        const uint32_t f = random();
        cpu_state.sign_source = f;
        cpu_state.zero_source = (f >> 8) & 3;
        cpu_state.carry = (f >> 10) & 1;
        cpu_state.overflow = (f >> 11) & 1;
        cpu_state.decimal = (f >> 12) & 1;
        cpu_state.irq_disable = (f >> 13) & 1;
        // Every eighth entry lies in the last 16 bytes, where operands wrap.
        const uint16_t entry = trial % 8 == 0 ? 0xFFF0 + (f >> 16) % 16 : 4 + (f >> 16) % 0xFFFC;
        scribble_log();

        const int result = cpu_call(entry);
        const int32_t executed = cpu_instructions_executed;
        const int32_t pc = cpu_state.pc;
        ASSERT_TRUE(result == CPU_RETURNED || result == CPU_ABANDONED) << "trial " << trial;
        ASSERT_GE(executed, 1) << "trial " << trial;
        ASSERT_LE(executed, step_limit + 2) << "trial " << trial;
        if (result == CPU_RETURNED) {
            ++returned;
            ASSERT_TRUE(pc >= 0 && pc <= 3) << "trial " << trial << " pc " << pc;
            ASSERT_LE(executed, step_limit + 1) << "trial " << trial;
        } else if (pc < 0 || pc > 0xFFFF) {
            ++out_of_range;
        } else if (cpu_state.jammed) {
            ++jammed;
            ASSERT_LE(executed, step_limit + 1) << "trial " << trial;
        } else {
            ++over_limit;
            ASSERT_EQ(step_limit + 2, executed) << "trial " << trial;
        }
        ASSERT_TRUE(cpu_state.carry <= 1 && cpu_state.decimal <= 1 && cpu_state.irq_disable <= 1);
        int k = 0;
        while (k < 127 && sid_write_log.registers[k] != -1) {
            ASSERT_GE(sid_write_log.registers[k], 0) << "trial " << trial;
            ASSERT_LE(sid_write_log.registers[k], 31) << "trial " << trial;
            ++k;
        }
        ASSERT_EQ(-1, sid_write_log.registers[k]) << "trial " << trial;
        ASSERT_LE(k, 126);
        ASSERT_EQ(k, cpu_state.log_pos);
        if (k > 0) ++with_log;
    }
    // The sweep is only a net if it reached the ways a call can end; random
    // code meets a JAM long before the step limit, which the harness tests
    // reach on purpose.
    EXPECT_GT(returned, 0);
    EXPECT_GT(out_of_range, 0);
    EXPECT_GT(jammed, 0);
    EXPECT_GT(with_log, 0);
    std::printf("random sweep: %d returned, %d left the image, %d jammed, %d over the limit, %d with SID stores\n",
                returned, out_of_range, jammed, over_limit, with_log);
}

}  // namespace
}  // namespace cpu_test

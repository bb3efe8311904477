// The call harness: how a call is entered, how it ends, the instruction limit,
// and what a call leaves behind for the next one.
#include "cpu_test_support.h"

namespace cpu_test {
namespace {

class Harness : public CpuTest {};

TEST_F(Harness, SingleRtsReturnsAfterOneInstructionWithEmptyLog) {
    EXPECT_EQ(CPU_RETURNED, run({
        0x60,  // RTS
    }));
    EXPECT_EQ(1, cpu_instructions_executed);
    EXPECT_EQ(0xFF, cpu_state.sp);
    EXPECT_EQ(2, cpu_state.pc);  // the pushed 0x0001 plus one
    EXPECT_EQ(-1, sid_write_log.registers[0]);
}

TEST_F(Harness, ResetSetsOnlyStackPointerAndProgramCounter) {
    cpu_state = CpuState{0x11, 0x22, 0x33, 0x44, 0x1234, 0x80, 0x00, 1, 1, 1, 1, 5};
    mem(0x4000) = 0x99;
    cpu_reset();
    EXPECT_EQ(0xFF, cpu_state.sp);
    EXPECT_EQ(0, cpu_state.pc);
    EXPECT_EQ(0x11, cpu_state.a);
    EXPECT_EQ(0x22, cpu_state.x);
    EXPECT_EQ(0x33, cpu_state.y);
    EXPECT_TRUE(flag_n());
    EXPECT_TRUE(flag_z());
    EXPECT_TRUE(flag_c());
    EXPECT_TRUE(flag_v());
    EXPECT_EQ(1, cpu_state.decimal);
    EXPECT_EQ(1, cpu_state.irq_disable);
    EXPECT_EQ(0x99, mem(0x4000));
}

TEST_F(Harness, EntryInEndRegionRunsNothingAndLeavesReturnAddressOnStack) {
    for (uint16_t entry = 0; entry <= 3; ++entry) {
        clear_machine();
        place(0x0000, {0xE8, 0xE8, 0xE8, 0xE8});  // INX everywhere in the end region
        EXPECT_EQ(CPU_RETURNED, cpu_call(entry)) << "entry " << entry;
        EXPECT_EQ(0, cpu_instructions_executed);
        EXPECT_EQ(0, cpu_state.x);
        EXPECT_EQ(0xFD, cpu_state.sp);
        EXPECT_EQ(entry, cpu_state.pc);
        EXPECT_EQ(Log{}, logged());
    }
}

TEST_F(Harness, EntryJustPastEndRegionExecutes) {
    EXPECT_EQ(CPU_RETURNED, run_at(0x0004, {
        0xE8,  // INX
        0x60,  // RTS
    }));
    EXPECT_EQ(1, cpu_state.x);
    EXPECT_EQ(2, cpu_instructions_executed);
}

// Whatever lands in 0x0000..0x0003 ends the call normally; 0x0004 does not.
TEST_F(Harness, AnyTransferIntoEndRegionReturns) {
    struct Case {
        const char* name;
        std::vector<uint8_t> program;  // at 0x1000
        int32_t end_pc;
    };
    const Case cases[] = {
        {"JMP $0002", {0x4C, 0x02, 0x00}, 2},
        {"JMP $0000", {0x4C, 0x00, 0x00}, 0},
        {"JMP $0003", {0x4C, 0x03, 0x00}, 3},
        {"JMP ($2000) to 0x0001", {0x6C, 0x00, 0x20}, 1},
        {"RTI to the pulled 0x0000 itself",
         {0xA9, 0x00,   // LDA #$00
          0x48,         // PHA      address high
          0x48,         // PHA      address low
          0x48,         // PHA      status
          0x40},        // RTI
         0},
    };
    for (const Case& c : cases) {
        clear_machine();
        place(0x2000, {0x01, 0x00});
        place(code, c.program);
        EXPECT_EQ(CPU_RETURNED, cpu_call(code)) << c.name;
        EXPECT_EQ(c.end_pc, cpu_state.pc) << c.name;
    }

    // A branch from low memory: BEQ at 0x0010 lands on 0x0003.
    clear_machine();
    EXPECT_EQ(CPU_RETURNED, run_at(0x0010, {
        0xA9, 0x00,  // LDA #$00
        0xF0, 0xEF,  // BEQ -17 -> 0x0014 - 17 = 0x0003
    }));
    EXPECT_EQ(3, cpu_state.pc);

    // 0x0004 is ordinary code.
    clear_machine();
    place(0x0004, {0xE8, 0x60});  // INX; RTS
    EXPECT_EQ(CPU_RETURNED, run({
        0x4C, 0x04, 0x00,  // JMP $0004
    }));
    EXPECT_EQ(1, cpu_state.x);
    EXPECT_EQ(2, cpu_state.pc);
}

// A routine of exactly `total` instructions, its final RTS included:
// 194 outer rounds of 1,027 instructions, then NOPs to make up the rest.
void place_counted_routine(int32_t total) {
    constexpr int32_t per_round = 1 + 256 * 4 + 2;  // LDX, 256 x (NOP NOP DEX BNE), DEY BNE
    const int32_t rounds = (total - 2) / per_round;
    const int32_t pad = total - 2 - rounds * per_round;
    ASSERT_GE(rounds, 1);
    ASSERT_LE(rounds, 255);
    place(code, {
        0xA0, static_cast<uint8_t>(rounds),  // 1000 LDY #rounds
        0xA2, 0x00,                          // 1002 LDX #$00     (256 inner rounds)
        0xEA,                                // 1004 NOP
        0xEA,                                // 1005 NOP
        0xCA,                                // 1006 DEX
        0xD0, 0xFB,                          // 1007 BNE $1004
        0x88,                                // 1009 DEY
        0xD0, 0xF6,                          // 100A BNE $1002
    });
    uint16_t at = code + 12;
    for (int32_t i = 0; i < pad; ++i) mem(at++) = 0xEA;  // NOP
    mem(at) = 0x60;                                        // RTS
}

TEST_F(Harness, RoutineOf200001InstructionsReturnsNormally) {
    place_counted_routine(200001);
    EXPECT_EQ(CPU_RETURNED, cpu_call(code));
    EXPECT_EQ(200001, cpu_instructions_executed);
    EXPECT_EQ(2, cpu_state.pc);
    EXPECT_EQ(0xFF, cpu_state.sp);
}

// The 200,002nd instruction is the RTS into the end region: the step check
// comes first, so the call counts as abandoned although it got home.
TEST_F(Harness, RoutineOf200002InstructionsIsAbandonedEvenWhenItsLastReturns) {
    place_counted_routine(200002);
    EXPECT_EQ(CPU_ABANDONED, cpu_call(code));
    EXPECT_EQ(200002, cpu_instructions_executed);
    EXPECT_EQ(2, cpu_state.pc);
}

TEST_F(Harness, EndlessJumpToItselfIsAbandonedAfter200002Instructions) {
    EXPECT_EQ(CPU_ABANDONED, run({
        0x8D, 0x18, 0xD4,  // STA $D418
        0x4C, 0x03, 0x10,  // JMP $1003
    }));
    EXPECT_EQ(200002, cpu_instructions_executed);
    EXPECT_EQ(0x1003, cpu_state.pc);
    // The log of an abandoned call is ended as usual.
    EXPECT_EQ((Log{{24, 0x00}}), logged());
    EXPECT_EQ(-1, sid_write_log.registers[1]);
}

TEST_F(Harness, BranchBelowAddressZeroAbandons) {
    EXPECT_EQ(CPU_ABANDONED, run_at(0x0004, {
        0xF0, 0xF6,  // BEQ -10 (Z is set in a fresh process)
    }));
    EXPECT_EQ(-4, cpu_state.pc);
    EXPECT_EQ(1, cpu_instructions_executed);
}

// Zeroed memory is BRK: it pushes the address two past itself and the
// status with B set, and jumps through the zero vector at 0xFFFE into the
// end region, as the chip would.
TEST_F(Harness, ZeroMemoryBreaksThroughTheZeroVectorIntoTheEndRegion) {
    EXPECT_EQ(CPU_RETURNED, cpu_call(0x0004));
    EXPECT_EQ(1, cpu_instructions_executed);
    EXPECT_EQ(0, cpu_state.pc);
    EXPECT_EQ(0x00, mem(0x01FD));  // 0x0006, high byte
    EXPECT_EQ(0x06, mem(0x01FC));
    EXPECT_EQ(0x32, mem(0x01FB));  // N V 1 B D I Z C: 1, B and Z (a fresh process)
    EXPECT_EQ(0xFA, cpu_state.sp);
    EXPECT_TRUE(cpu_state.irq_disable);
}

TEST_F(Harness, RtsPullingFFFFAbandons) {
    EXPECT_EQ(CPU_ABANDONED, run({
        0xA9, 0xFF,  // LDA #$FF
        0x48,        // PHA
        0x48,        // PHA
        0x60,        // RTS -> 0x10000
    }));
    EXPECT_EQ(0x10000, cpu_state.pc);
}

TEST_F(Harness, InitCallFindsItsReturnAddressBelowTheResetStackPointer) {
    mem(0x01FF) = 0x77;
    mem(0x01FE) = 0x77;
    cpu_state.a = 0x5C;
    EXPECT_EQ(CPU_RETURNED, run({
        0xBA,              // TSX
        0x8E, 0x00, 0x02,  // STX $0200
        0x48,              // PHA
        0xBA,              // TSX
        0x8E, 0x01, 0x02,  // STX $0201
        0x68,              // PLA
        0x60,              // RTS
    }));
    EXPECT_EQ(0x00, mem(0x01FF));  // return address high byte
    EXPECT_EQ(0x01, mem(0x01FE));  // return address low byte
    EXPECT_EQ(0xFD, mem(0x0200));  // sp on entry
    EXPECT_EQ(0x5C, mem(0x01FD));  // PHA
    EXPECT_EQ(0xFC, mem(0x0201));  // sp after PHA
    EXPECT_EQ(0xFF, cpu_state.sp);
}

// The harness pushes with the same wrap as PHA: at sp 0 the return address
// straddles the bottom and top of page 0x0100; at sp 1 it fills the bottom.
TEST_F(Harness, ReturnAddressPushWrapsWithinStackPage) {
    struct Case {
        uint8_t sp;
        uint16_t high_at, low_at;
        uint8_t sp_on_entry;
    };
    for (const Case c : {Case{0x00, 0x0100, 0x01FF, 0xFE}, Case{0x01, 0x0101, 0x0100, 0xFF}}) {
        clear_machine();
        mem(c.high_at) = 0x77;
        mem(c.low_at) = 0x77;
        cpu_state.sp = c.sp;
        EXPECT_EQ(CPU_RETURNED, run({
            0xBA,              // TSX
            0x8E, 0x00, 0x02,  // STX $0200
            0x60,              // RTS
        }));
        EXPECT_EQ(0x00, mem(c.high_at)) << "sp " << int(c.sp);
        EXPECT_EQ(0x01, mem(c.low_at)) << "sp " << int(c.sp);
        EXPECT_EQ(c.sp_on_entry, mem(0x0200)) << "sp " << int(c.sp);
        EXPECT_EQ(c.sp, cpu_state.sp);
        EXPECT_EQ(2, cpu_state.pc);
    }
}

TEST_F(Harness, StateCarriesOverBetweenCallsAndAbandonedCallsLeaveTheirStack) {
    place(code, {
        0xE8,              // 1000 INX
        0x8E, 0x00, 0xD4,  // 1001 STX $D400
        0x60,              // 1004 RTS
    });
    place(0x2000, {
        0x48,              // 2000 PHA
        0x4C, 0x01, 0x20,  // 2001 JMP $2001
    });
    EXPECT_EQ(CPU_RETURNED, cpu_call(code));
    EXPECT_EQ(CPU_RETURNED, cpu_call(code));
    EXPECT_EQ(2, cpu_state.x);
    EXPECT_EQ((Log{{0, 0x02}}), logged());  // each call's log starts afresh

    EXPECT_EQ(CPU_ABANDONED, cpu_call(0x2000));
    EXPECT_EQ(0xFC, cpu_state.sp);  // return address and the PHA stay behind
    EXPECT_EQ(Log{}, logged());
    EXPECT_EQ(CPU_RETURNED, cpu_call(code));
    EXPECT_EQ(0xFC, cpu_state.sp);
    EXPECT_EQ(0x00, mem(0x01FC));  // the next call pushed below the leftovers
    EXPECT_EQ(0x01, mem(0x01FB));
    EXPECT_EQ((Log{{0, 0x03}}), logged());
}

}  // namespace
}  // namespace cpu_test

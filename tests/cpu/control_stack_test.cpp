// Branches, jumps, subroutines and returns, the stack instructions and the
// packed status byte, and the stack's wrap within page 0x0100.
#include "cpu_test_support.h"

namespace cpu_test {
namespace {

class ControlStack : public CpuTest {};

// Sets the flags the way a branch reads them.
void set_flags(bool n, bool v, bool z, bool c) {
    cpu_state.sign_source = n ? 0x80 : 0x7F;
    cpu_state.overflow = v ? 0x40 : 0;  // any non-zero value means V set
    cpu_state.zero_source = z ? 0x00 : 0x01;
    cpu_state.carry = c;
}

TEST_F(ControlStack, EachBranchFollowsItsOwnFlag) {
    struct Case {
        const char* name;
        uint8_t opcode;
        bool n, v, z, c;  // flags before the branch
        bool taken;
    };
    const Case cases[] = {
        {"BPL N clear", 0x10, false, true, true, true, true},
        {"BPL N set", 0x10, true, false, false, false, false},
        {"BMI N set", 0x30, true, false, false, false, true},
        {"BMI N clear", 0x30, false, true, true, true, false},
        {"BVC V clear", 0x50, true, false, true, true, true},
        {"BVC V set", 0x50, false, true, false, false, false},
        {"BVS V set", 0x70, false, true, false, false, true},
        {"BVS V clear", 0x70, true, false, true, true, false},
        {"BCC C clear", 0x90, true, true, true, false, true},
        {"BCC C set", 0x90, false, false, false, true, false},
        {"BCS C set", 0xB0, false, false, false, true, true},
        {"BCS C clear", 0xB0, true, true, true, false, false},
        {"BNE Z clear", 0xD0, true, true, false, true, true},
        {"BNE Z set", 0xD0, false, false, true, false, false},
        {"BEQ Z set", 0xF0, false, false, true, false, true},
        {"BEQ Z clear", 0xF0, true, true, false, true, false},
    };
    for (const Case& c : cases) {
        clear_machine();
        set_flags(c.n, c.v, c.z, c.c);
        place(code, {
            c.opcode, 0x10,  // 1000 Bxx $1012
            0xE8,            // 1002 INX
            0x60,            // 1003 RTS
        });
        place(0x1012, {
            0xC8,            // 1012 INY
            0x60,            // 1013 RTS
        });
        EXPECT_EQ(CPU_RETURNED, cpu_call(code)) << c.name;
        EXPECT_EQ(c.taken ? 0 : 1, cpu_state.x) << c.name;
        EXPECT_EQ(c.taken ? 1 : 0, cpu_state.y) << c.name;
    }
}

TEST_F(ControlStack, LoadedValuesDriveTheBranches) {
    EXPECT_EQ(CPU_RETURNED, run({
        0xA9, 0x00,  // 1000 LDA #$00
        0x30, 0x04,  // 1002 BMI $1008   not taken
        0xF0, 0x02,  // 1004 BEQ $1008   taken
        0xE8,        // 1006 INX         skipped
        0xE8,        // 1007 INX         skipped
        0xA9, 0x80,  // 1008 LDA #$80
        0x30, 0x01,  // 100A BMI $100D   taken
        0xE8,        // 100C INX         skipped
        0xD0, 0x01,  // 100D BNE $1010   taken
        0xE8,        // 100F INX         skipped
        0x60,        // 1010 RTS
    }));
    EXPECT_EQ(0, cpu_state.x);
    EXPECT_EQ(7, cpu_instructions_executed);
}

TEST_F(ControlStack, BranchOffsetsAreSignedAndCountFromTheNextInstruction) {
    struct Case {
        uint8_t offset;
        uint16_t target;
    };
    for (const Case c : {Case{0x7F, 0x1081}, Case{0x80, 0x0F82}, Case{0x01, 0x1003}}) {
        clear_machine();
        cpu_state.carry = 1;
        mem(c.target) = 0xC8;      // INY
        mem(c.target + 1) = 0x60;  // RTS
        EXPECT_EQ(CPU_RETURNED, run({
            0xB0, c.offset,  // BCS target
        })) << int(c.offset);
        EXPECT_EQ(1, cpu_state.y) << int(c.offset);
        EXPECT_EQ(3, cpu_instructions_executed) << int(c.offset);
    }
}

TEST_F(ControlStack, BneOntoItselfLoopsUntilTheStepLimit) {
    cpu_state.zero_source = 1;  // Z clear
    EXPECT_EQ(CPU_ABANDONED, run({
        0xD0, 0xFE,  // 1000 BNE $1000
    }));
    EXPECT_EQ(0x1000, cpu_state.pc);
    EXPECT_EQ(200002, cpu_instructions_executed);
}

TEST_F(ControlStack, JumpsAbsoluteAndIndirectWithTheChipsPageWrap) {
    place(0x2000, {0xE8, 0x60});  // INX; RTS
    EXPECT_EQ(CPU_RETURNED, run({
        0x4C, 0x00, 0x20,  // JMP $2000
    }));
    EXPECT_EQ(1, cpu_state.x);

    clear_machine();
    mem(0x10FF) = 0x00;  // target low
    mem(0x1100) = 0x30;  // the next address, which the NMOS chip does not read
    place(code, {
        0x6C, 0xFF, 0x10,  // 1000 JMP ($10FF)
    });
    place(0x3000, {0xC8, 0x60});  // INY; RTS    where a pointer without the wrap would lead
    // The chip takes the high byte from the start of the pointer's own page,
    // 0x1000, the JMP opcode itself, and lands on 0x6C00.
    place(0x6C00, {0xE8, 0x60});  // INX; RTS
    EXPECT_EQ(CPU_RETURNED, cpu_call(code));
    EXPECT_EQ(0, cpu_state.y);
    EXPECT_EQ(1, cpu_state.x);
}

TEST_F(ControlStack, JsrPushesItsLastByteAndRtsContinuesAfterIt) {
    place(code, {
        0x20, 0x00, 0x20,  // 1000 JSR $2000
        0xE8,              // 1003 INX
        0x60,              // 1004 RTS
    });
    place(0x2000, {
        0xBA,              // 2000 TSX
        0x8E, 0x00, 0x03,  // 2001 STX $0300
        0x60,              // 2004 RTS
    });
    EXPECT_EQ(CPU_RETURNED, cpu_call(code));
    EXPECT_EQ(0x10, mem(0x01FD));  // high byte, pushed first
    EXPECT_EQ(0x02, mem(0x01FC));  // low byte: the JSR's last byte is 0x1002
    EXPECT_EQ(0xFB, mem(0x0300));
    EXPECT_EQ(0xFC, cpu_state.x);  // 0xFB + the INX at 0x1003
    EXPECT_EQ(0xFF, cpu_state.sp);
    EXPECT_EQ(6, cpu_instructions_executed);
}

TEST_F(ControlStack, RtiReturnsToThePulledAddressAndRestoresFlags) {
    place(code, {
        0xA9, 0x12,  // LDA #$12
        0x48,        // PHA        address high
        0xA9, 0x34,  // LDA #$34
        0x48,        // PHA        address low
        0xA9, 0xCF,  // LDA #$CF   N V - - D I Z C
        0x48,        // PHA        status
        0xA9, 0x00,  // LDA #$00
        0x40,        // RTI
    });
    place(0x1234, {
        0xC8,        // 1234 INY   RTI continues at the pulled address itself
        0xE8,        // 1235 INX
        0x4C, 0x02, 0x00,  // JMP $0002
    });
    EXPECT_EQ(CPU_RETURNED, cpu_call(code));
    EXPECT_EQ(1, cpu_state.y);
    EXPECT_EQ(1, cpu_state.x);
    EXPECT_EQ(0xFD, cpu_state.sp);
    EXPECT_TRUE(flag_c());
    EXPECT_FALSE(flag_z());  // INX of 0 gave 1 after the RTI set Z
    EXPECT_EQ(1, cpu_state.irq_disable);
    EXPECT_EQ(1, cpu_state.decimal);
    EXPECT_TRUE(flag_v());
}

TEST_F(ControlStack, PhpAndPlpCarryEveryFlagCombination) {
    for (int flags = 0; flags < 64; ++flags) {
        const bool n = flags & 32, v = flags & 16, d = flags & 8, i = flags & 4, z = flags & 2, c = flags & 1;
        clear_machine();
        set_flags(n, v, z, c);
        cpu_state.decimal = d;
        cpu_state.irq_disable = i;
        EXPECT_EQ(CPU_RETURNED, run({
            0x08,  // PHP
            0xA9, 0x00,  // LDA #$00
            0x18,  // CLC
            0xD8,  // CLD
            0x58,  // CLI
            0xB8,  // CLV
            0x28,  // PLP
            0x60,  // RTS
        }));
        const uint8_t packed = (n ? 0x80 : 0) | (v ? 0x40 : 0) | 0x30 | (d ? 0x08 : 0) | (i ? 0x04 : 0) |
                               (z ? 0x02 : 0) | (c ? 0x01 : 0);
        EXPECT_EQ(packed, mem(0x01FD)) << "flags " << flags;
        EXPECT_EQ(n, flag_n()) << "flags " << flags;
        EXPECT_EQ(v, flag_v()) << "flags " << flags;
        EXPECT_EQ(d, cpu_state.decimal != 0) << "flags " << flags;
        EXPECT_EQ(i, cpu_state.irq_disable != 0) << "flags " << flags;
        EXPECT_EQ(z, flag_z()) << "flags " << flags;
        EXPECT_EQ(c, flag_c()) << "flags " << flags;
    }
}

TEST_F(ControlStack, PulledStatusBitOneMakesBeqBranch) {
    struct Case {
        uint8_t status;
        bool branches;
    };
    for (const Case c : {Case{0x02, true}, Case{0xFD, false}, Case{0x30, false}}) {
        clear_machine();
        EXPECT_EQ(CPU_RETURNED, run({
            0xA9, c.status,  // LDA #status
            0x48,            // PHA
            0x28,            // PLP
            0xF0, 0x01,      // BEQ +1
            0xE8,            // INX
            0x60,            // RTS
        }));
        EXPECT_EQ(c.branches ? 0 : 1, cpu_state.x) << std::hex << int(c.status);
    }
    // Bits 5 and 4 are ignored: 0x30 sets no flag.
    EXPECT_FALSE(flag_v());
    EXPECT_FALSE(flag_c());
    EXPECT_EQ(0, cpu_state.decimal);
    EXPECT_EQ(0, cpu_state.irq_disable);
}

TEST_F(ControlStack, PlaSetsNAndZPhaDoesNot) {
    EXPECT_EQ(CPU_RETURNED, run({
        0xA9, 0x80,  // LDA #$80
        0x48,        // PHA
        0xA9, 0x00,  // LDA #$00   Z set
        0x48,        // PHA        flags stay
        0x68,        // PLA        0x00
        0x68,        // PLA        0x80
        0x60,        // RTS
    }));
    EXPECT_EQ(0x80, cpu_state.a);
    EXPECT_TRUE(flag_n());
    EXPECT_FALSE(flag_z());
    EXPECT_EQ(0x80, mem(0x01FD));
    EXPECT_EQ(0x00, mem(0x01FC));
}

TEST_F(ControlStack, PushAtStackPointerZeroStoresAtTheBottomAndWrapsSp) {
    cpu_state.a = 0xAB;
    EXPECT_EQ(CPU_RETURNED, run({
        0xA2, 0x00,        // LDX #$00
        0x9A,              // TXS
        0x48,              // PHA         stored at 0x0100, sp 0 -> 0xFF
        0xBA,              // TSX
        0x8E, 0x00, 0x02,  // STX $0200
        0x4C, 0x02, 0x00,  // JMP $0002
    }));
    EXPECT_EQ(0xAB, mem(0x0100));
    EXPECT_EQ(0xFF, mem(0x0200));
}

TEST_F(ControlStack, PullAtStackPointerFFWrapsToTheBottomOfPageOne) {
    mem(0x0100) = 0x11;
    mem(0x0101) = 0x22;
    mem(0x0200) = 0x99;  // what a pull past the page would read
    EXPECT_EQ(CPU_RETURNED, run({
        0xA2, 0xFF,        // LDX #$FF
        0x9A,              // TXS
        0x68,              // PLA         sp -> 0x00, reads 0x0100
        0x8D, 0x00, 0x03,  // STA $0300
        0x68,              // PLA         sp -> 0x01, reads 0x0101
        0x8D, 0x01, 0x03,  // STA $0301
        0xBA,              // TSX
        0x8E, 0x02, 0x03,  // STX $0302
        0x4C, 0x02, 0x00,  // JMP $0002
    }));
    EXPECT_EQ(0x11, mem(0x0300));
    EXPECT_EQ(0x22, mem(0x0301));
    EXPECT_EQ(0x01, mem(0x0302));
}

TEST_F(ControlStack, JsrAndRtsAcrossTheStackWrap) {
    cpu_state.sp = 0x02;  // the harness leaves sp at 0x00 on entry
    place(code, {
        0x20, 0x00, 0x20,  // 1000 JSR $2000    high byte at 0x0100, low at 0x01FF
        0xE8,              // 1003 INX
        0x60,              // 1004 RTS
    });
    place(0x2000, {
        0xC8,              // 2000 INY
        0x60,              // 2001 RTS
    });
    EXPECT_EQ(CPU_RETURNED, cpu_call(code));
    EXPECT_EQ(0x10, mem(0x0100));
    EXPECT_EQ(0x02, mem(0x01FF));
    EXPECT_EQ(1, cpu_state.x);
    EXPECT_EQ(1, cpu_state.y);
    EXPECT_EQ(0x02, cpu_state.sp);
}

}  // namespace
}  // namespace cpu_test

// Arithmetic, compares, logic, shifts and the flag instructions. ADC, SBC and
// the compares are checked over every accumulator, operand and carry against
// the textbook bitwise formulas of the 6502, written independently here.
#include "cpu_test_support.h"

namespace cpu_test {
namespace {

class Arithmetic : public CpuTest {};

struct Flags {
    uint8_t a;
    bool n, z, c, v;
};
Flags observed() { return {cpu_state.a, flag_n(), flag_z(), flag_c(), flag_v()}; }

// Runs the immediate instruction at `code` once with operand m, from the given
// a and carry, overflow preset to v_in.
void run_immediate(uint8_t a, uint8_t m, uint16_t carry, uint16_t v_in) {
    cpu_state.a = a;
    cpu_state.carry = carry;
    cpu_state.overflow = v_in;
    mem(code + 1) = m;
    cpu_call(code);
}

TEST_F(Arithmetic, AdcOverEveryOperandAndCarry) {
    place(code, {0x69, 0x00, 0x60});  // ADC #m; RTS
    int failures = 0;
    for (int a = 0; a < 256; ++a)
        for (int m = 0; m < 256; ++m)
            for (int c = 0; c < 2; ++c) {
                run_immediate(a, m, c, !c);
                const int sum = a + m + c;
                const uint8_t r = sum & 0xFF;
                const Flags want{r, (r & 0x80) != 0, r == 0, (sum & 0x100) != 0,
                                 ((a ^ r) & (m ^ r) & 0x80) != 0};
                const Flags got = observed();
                if (got.a != want.a || got.n != want.n || got.z != want.z || got.c != want.c ||
                    got.v != want.v) {
                    if (++failures <= 5)
                        ADD_FAILURE() << "ADC a=" << a << " m=" << m << " c=" << c << " -> a="
                                      << int(got.a) << " NZCV=" << got.n << got.z << got.c << got.v;
                }
            }
    EXPECT_EQ(0, failures);
}

TEST_F(Arithmetic, SbcOverEveryOperandAndCarryInBothEncodings) {
    for (uint8_t opcode : {0xE9, 0xEB}) {
        place(code, {opcode, 0x00, 0x60});  // SBC #m; RTS
        int failures = 0;
        for (int a = 0; a < 256; ++a)
            for (int m = 0; m < 256; ++m)
                for (int c = 0; c < 2; ++c) {
                    run_immediate(a, m, c, c);
                    const int difference = a - m - (1 - c);
                    const uint8_t r = difference & 0xFF;
                    const Flags want{r, (r & 0x80) != 0, r == 0, difference >= 0,
                                     ((a ^ m) & (a ^ r) & 0x80) != 0};
                    const Flags got = observed();
                    if (got.a != want.a || got.n != want.n || got.z != want.z || got.c != want.c ||
                        got.v != want.v) {
                        if (++failures <= 5)
                            ADD_FAILURE() << std::hex << int(opcode) << std::dec << " a=" << a
                                          << " m=" << m << " c=" << c << " -> a=" << int(got.a)
                                          << " NZCV=" << got.n << got.z << got.c << got.v;
                    }
                }
        EXPECT_EQ(0, failures) << "opcode " << std::hex << int(opcode);
    }
}

TEST_F(Arithmetic, CompareOverEveryRegisterAndOperandLeavesVAndRegister) {
    struct Compare {
        const char* name;
        uint8_t opcode;
        uint8_t CpuState::*reg;
    };
    for (const Compare cmp : {Compare{"CMP", 0xC9, &CpuState::a}, Compare{"CPX", 0xE0, &CpuState::x},
                              Compare{"CPY", 0xC0, &CpuState::y}}) {
        place(code, {cmp.opcode, 0x00, 0x60});  // CMP/CPX/CPY #m; RTS
        int failures = 0;
        for (int r = 0; r < 256; ++r)
            for (int m = 0; m < 256; ++m) {
                const uint16_t v_in = (r ^ m) & 1;
                cpu_state.*cmp.reg = r;
                cpu_state.carry = (r + m) & 1;
                cpu_state.overflow = v_in;
                mem(code + 1) = m;
                cpu_call(code);
                const unsigned difference = (0x100u + r - m);  // bit 8 clear means a borrow
                const bool ok = cpu_state.*cmp.reg == r && flag_c() == ((difference & 0x100) != 0) &&
                                flag_z() == (r == m) && flag_n() == ((difference & 0x80) != 0) &&
                                flag_v() == (v_in != 0);
                if (!ok && ++failures <= 5)
                    ADD_FAILURE() << cmp.name << " r=" << r << " m=" << m;
            }
        EXPECT_EQ(0, failures) << cmp.name;
    }
}

TEST_F(Arithmetic, AddAndSubtractAtTheirBoundaries) {
    struct Case {
        const char* name;
        uint8_t opcode, a, m;
        uint16_t carry;
        Flags want;
    };
    const Case cases[] = {
        {"ADC 7F+01", 0x69, 0x7F, 0x01, 0, {0x80, true, false, false, true}},
        {"ADC FF+01", 0x69, 0xFF, 0x01, 0, {0x00, false, true, true, false}},
        {"ADC 80+FF", 0x69, 0x80, 0xFF, 0, {0x7F, false, false, true, true}},
        {"ADC 7F+00+C", 0x69, 0x7F, 0x00, 1, {0x80, true, false, false, true}},
        {"SBC 00-01", 0xE9, 0x00, 0x01, 1, {0xFF, true, false, false, false}},
        {"SBC 80-01", 0xE9, 0x80, 0x01, 1, {0x7F, false, false, true, true}},
        {"SBC 00-00 borrow", 0xE9, 0x00, 0x00, 0, {0xFF, true, false, false, false}},
        {"SBC 7F-FF", 0xE9, 0x7F, 0xFF, 1, {0x80, true, false, false, true}},
        {"SBC 05-05", 0xE9, 0x05, 0x05, 1, {0x00, false, true, true, false}},
    };
    for (const Case& c : cases) {
        clear_machine();
        place(code, {c.opcode, c.m, 0x60});
        run_immediate(c.a, c.m, c.carry, 0);
        const Flags got = observed();
        EXPECT_EQ(c.want.a, got.a) << c.name;
        EXPECT_EQ(c.want.n, got.n) << c.name;
        EXPECT_EQ(c.want.z, got.z) << c.name;
        EXPECT_EQ(c.want.c, got.c) << c.name;
        EXPECT_EQ(c.want.v, got.v) << c.name;
    }
}

TEST_F(Arithmetic, CmpEqualSetsZAndCLargerOperandClearsCAndLeavesV) {
    cpu_state.overflow = 1;
    EXPECT_EQ(CPU_RETURNED, run({
        0xA9, 0x40,  // LDA #$40
        0xC9, 0x40,  // CMP #$40
        0x60,        // RTS
    }));
    EXPECT_TRUE(flag_z());
    EXPECT_TRUE(flag_c());
    EXPECT_TRUE(flag_v());
    EXPECT_EQ(CPU_RETURNED, run({
        0xA9, 0x40,  // LDA #$40
        0xC9, 0x41,  // CMP #$41
        0x60,        // RTS
    }));
    EXPECT_FALSE(flag_c());
    EXPECT_FALSE(flag_z());
    EXPECT_TRUE(flag_v());
    EXPECT_EQ(0x40, cpu_state.a);
}

// With D set, ADC, SBC and ISC work on two decimal digits a byte, in every
// mode. Worked by hand in decimal with carry in: 19 + 01 + 1 = 21; 19 - 01
// = 18; ISC makes the operand 02, then 19 - 02 = 17; no carry out of 99 and
// no borrow, so C is clear after the additions and set after the others.
TEST_F(Arithmetic, DecimalModeAddsAndSubtractsDigitByDigitInEveryMode) {
    struct Case {
        const char* name;
        std::vector<uint8_t> instruction;
        uint8_t want_a, want_memory;
        bool want_c;
    };
    const Case cases[] = {
        {"ADC #imm", {0x69, 0x01}, 0x21, 0x01, false},     {"ADC zp", {0x65, 0x40}, 0x21, 0x01, false},
        {"ADC zp,X", {0x75, 0x3F}, 0x21, 0x01, false},     {"ADC abs", {0x6D, 0x40, 0x00}, 0x21, 0x01, false},
        {"ADC abs,X", {0x7D, 0x3F, 0x00}, 0x21, 0x01, false}, {"ADC abs,Y", {0x79, 0x3F, 0x00}, 0x21, 0x01, false},
        {"ADC (zp,X)", {0x61, 0x4F}, 0x21, 0x01, false},   {"ADC (zp),Y", {0x71, 0x52}, 0x21, 0x01, false},
        {"SBC #imm", {0xE9, 0x01}, 0x18, 0x01, true},      {"SBC #imm 0xEB", {0xEB, 0x01}, 0x18, 0x01, true},
        {"SBC zp", {0xE5, 0x40}, 0x18, 0x01, true},        {"SBC zp,X", {0xF5, 0x3F}, 0x18, 0x01, true},
        {"SBC abs", {0xED, 0x40, 0x00}, 0x18, 0x01, true}, {"SBC abs,X", {0xFD, 0x3F, 0x00}, 0x18, 0x01, true},
        {"SBC abs,Y", {0xF9, 0x3F, 0x00}, 0x18, 0x01, true}, {"SBC (zp,X)", {0xE1, 0x4F}, 0x18, 0x01, true},
        {"SBC (zp),Y", {0xF1, 0x52}, 0x18, 0x01, true},
        {"ISC zp", {0xE7, 0x40}, 0x17, 0x02, true},        {"ISC zp,X", {0xF7, 0x3F}, 0x17, 0x02, true},
        {"ISC abs", {0xEF, 0x40, 0x00}, 0x17, 0x02, true}, {"ISC abs,X", {0xFF, 0x3F, 0x00}, 0x17, 0x02, true},
        {"ISC abs,Y", {0xFB, 0x3F, 0x00}, 0x17, 0x02, true}, {"ISC (zp,X)", {0xE3, 0x4F}, 0x17, 0x02, true},
        {"ISC (zp),Y", {0xF3, 0x52}, 0x17, 0x02, true},
    };
    for (const Case& c : cases) {
        clear_machine();
        // Every mode's operand is 0x40: x = y = 1, pointers at 0x50 and 0x52.
        place(0x0050, {0x40, 0x00, 0x3F, 0x00});
        mem(0x0040) = 0x01;
        cpu_state.x = 1;
        cpu_state.y = 1;
        cpu_state.a = 0x19;
        cpu_state.carry = 1;
        cpu_state.decimal = 1;
        place(code, c.instruction);
        place(code + c.instruction.size(), {
            0x84, 0x70,  // STY $70    proves execution went on right after the operand
            0x60,        // RTS
        });
        EXPECT_EQ(CPU_RETURNED, cpu_call(code)) << c.name;
        EXPECT_EQ(c.want_a, cpu_state.a) << c.name;
        EXPECT_EQ(1, mem(0x70)) << c.name;
        EXPECT_EQ(c.want_memory, mem(0x0040)) << c.name;
        EXPECT_EQ(c.want_c, flag_c()) << c.name;
        EXPECT_FALSE(flag_v()) << c.name;
        EXPECT_FALSE(flag_z()) << c.name;
        EXPECT_FALSE(flag_n()) << c.name;
        EXPECT_EQ(3, cpu_instructions_executed) << c.name;
    }
}

TEST_F(Arithmetic, SedMakesAdcDecimalAndCldMakesItBinaryAgain) {
    EXPECT_EQ(CPU_RETURNED, run({
        0xA9, 0x09,  // LDA #$09
        0x18,        // CLC
        0xF8,        // SED
        0x69, 0x01,  // ADC #$01    09 + 01 = 10 in decimal
        0x85, 0x20,  // STA $20
        0xD8,        // CLD
        0x69, 0x01,  // ADC #$01    0x10 + 1 = 0x11 in binary
        0x60,        // RTS
    }));
    EXPECT_EQ(0x10, mem(0x20));
    EXPECT_EQ(0x11, cpu_state.a);
    EXPECT_EQ(0, cpu_state.decimal);
}

TEST_F(Arithmetic, IncrementsAndDecrementsWrapAndSetNAndZ) {
    struct Case {
        const char* name;
        std::vector<uint8_t> program;
        uint8_t CpuState::*reg;  // nullptr: the result is memory at 0x40
        uint8_t start, result;
    };
    const Case cases[] = {
        {"INX FF", {0xE8}, &CpuState::x, 0xFF, 0x00},
        {"INY 7F", {0xC8}, &CpuState::y, 0x7F, 0x80},
        {"DEX 00", {0xCA}, &CpuState::x, 0x00, 0xFF},
        {"DEY 01", {0x88}, &CpuState::y, 0x01, 0x00},
        {"INC zp FF", {0xE6, 0x40}, nullptr, 0xFF, 0x00},
        {"INC abs 7F", {0xEE, 0x40, 0x00}, nullptr, 0x7F, 0x80},
        {"DEC zp 00", {0xC6, 0x40}, nullptr, 0x00, 0xFF},
        {"DEC abs 01", {0xCE, 0x40, 0x00}, nullptr, 0x01, 0x00},
        {"INC zp,X", {0xF6, 0x3F}, nullptr, 0x41, 0x42},
        {"DEC abs,X", {0xDE, 0x3F, 0x00}, nullptr, 0x41, 0x40},
    };
    for (const Case& c : cases) {
        clear_machine();
        if (c.reg) {
            cpu_state.*c.reg = c.start;
        } else {
            mem(0x40) = c.start;
            cpu_state.x = 1;
        }
        place(code, c.program);
        mem(code + c.program.size()) = 0x60;  // RTS
        EXPECT_EQ(CPU_RETURNED, cpu_call(code)) << c.name;
        EXPECT_EQ(c.result, c.reg ? cpu_state.*c.reg : mem(0x40)) << c.name;
        EXPECT_EQ((c.result & 0x80) != 0, flag_n()) << c.name;
        EXPECT_EQ(c.result == 0, flag_z()) << c.name;
    }
}

TEST_F(Arithmetic, ShiftsAndRotatesOnAccumulatorAndMemory) {
    struct Case {
        const char* name;
        uint8_t a_opcode, zp_opcode;  // accumulator and zero-page forms
        uint8_t m;
        uint16_t carry_in;
        uint8_t result;
        bool carry_out;
    };
    const Case cases[] = {
        {"ASL 81", 0x0A, 0x06, 0x81, 0, 0x02, true},
        {"ASL 40 keeps no carry in", 0x0A, 0x06, 0x40, 1, 0x80, false},
        {"ASL 80 to zero", 0x0A, 0x06, 0x80, 0, 0x00, true},
        {"LSR 81", 0x4A, 0x46, 0x81, 0, 0x40, true},
        {"LSR 02 ignores carry in", 0x4A, 0x46, 0x02, 1, 0x01, false},
        {"LSR 01 to zero", 0x4A, 0x46, 0x01, 0, 0x00, true},
        {"ROL 81 carry 0", 0x2A, 0x26, 0x81, 0, 0x02, true},
        {"ROL 40 carry 1", 0x2A, 0x26, 0x40, 1, 0x81, false},
        {"ROL 80 carry 0 to zero", 0x2A, 0x26, 0x80, 0, 0x00, true},
        {"ROR 81 carry 0", 0x6A, 0x66, 0x81, 0, 0x40, true},
        {"ROR 02 carry 1", 0x6A, 0x66, 0x02, 1, 0x81, false},
        {"ROR 01 carry 0 to zero", 0x6A, 0x66, 0x01, 0, 0x00, true},
    };
    for (const Case& c : cases) {
        for (bool on_memory : {false, true}) {
            clear_machine();
            cpu_state.carry = c.carry_in;
            cpu_state.sign_source = 0x80;  // N set beforehand: LSR must clear it
            if (on_memory) {
                mem(0x40) = c.m;
                cpu_state.a = 0x33;
                place(code, {c.zp_opcode, 0x40, 0x60});
            } else {
                cpu_state.a = c.m;
                place(code, {c.a_opcode, 0x60});
            }
            EXPECT_EQ(CPU_RETURNED, cpu_call(code)) << c.name;
            EXPECT_EQ(c.result, on_memory ? mem(0x40) : cpu_state.a) << c.name << " memory " << on_memory;
            if (on_memory) {
                EXPECT_EQ(0x33, cpu_state.a) << c.name;
            }
            EXPECT_EQ(c.carry_out, flag_c()) << c.name << " memory " << on_memory;
            EXPECT_EQ((c.result & 0x80) != 0, flag_n()) << c.name << " memory " << on_memory;
            EXPECT_EQ(c.result == 0, flag_z()) << c.name << " memory " << on_memory;
        }
    }
}

TEST_F(Arithmetic, LogicOperationsSetNAndZFromTheAccumulator) {
    struct Case {
        const char* name;
        uint8_t opcode, a, m, result;
    };
    const Case cases[] = {
        {"AND", 0x29, 0xF0, 0x3C, 0x30}, {"AND to zero", 0x29, 0xF0, 0x0F, 0x00},
        {"ORA", 0x09, 0x80, 0x01, 0x81}, {"ORA zero", 0x09, 0x00, 0x00, 0x00},
        {"EOR", 0x49, 0xFF, 0x0F, 0xF0}, {"EOR to zero", 0x49, 0x5A, 0x5A, 0x00},
    };
    for (const Case& c : cases) {
        clear_machine();
        cpu_state.a = c.a;
        cpu_state.carry = 1;
        cpu_state.overflow = 1;
        EXPECT_EQ(CPU_RETURNED, run({c.opcode, c.m, 0x60}));
        EXPECT_EQ(c.result, cpu_state.a) << c.name;
        EXPECT_EQ((c.result & 0x80) != 0, flag_n()) << c.name;
        EXPECT_EQ(c.result == 0, flag_z()) << c.name;
        EXPECT_TRUE(flag_c()) << c.name;
        EXPECT_TRUE(flag_v()) << c.name;
    }
}

TEST_F(Arithmetic, BitTakesZFromTheAndButNAndVFromMemory) {
    struct Case {
        const char* name;
        std::vector<uint8_t> instruction;
        uint8_t a, m;
        bool n, z, v;
    };
    const Case cases[] = {
        {"BIT zp a=00 m=C0", {0x24, 0x40}, 0x00, 0xC0, true, true, true},
        {"BIT abs a=00 m=C0", {0x2C, 0x40, 0x00}, 0x00, 0xC0, true, true, true},
        {"BIT zp a=01 m=41", {0x24, 0x40}, 0x01, 0x41, false, false, true},
        {"BIT abs a=FF m=80", {0x2C, 0x40, 0x00}, 0xFF, 0x80, true, false, false},
        {"BIT zp a=FF m=00", {0x24, 0x40}, 0xFF, 0x00, false, true, false},
    };
    for (const Case& c : cases) {
        clear_machine();
        cpu_state.a = c.a;
        cpu_state.carry = 1;
        cpu_state.overflow = 1;  // BIT must also clear V
        mem(0x40) = c.m;
        place(code, c.instruction);
        mem(code + c.instruction.size()) = 0x60;  // RTS
        EXPECT_EQ(CPU_RETURNED, cpu_call(code)) << c.name;
        EXPECT_EQ(c.n, flag_n()) << c.name;
        EXPECT_EQ(c.z, flag_z()) << c.name;
        EXPECT_EQ(c.v, flag_v()) << c.name;
        EXPECT_EQ(c.a, cpu_state.a) << c.name;
        EXPECT_TRUE(flag_c()) << c.name;
    }
}

TEST_F(Arithmetic, FlagInstructionsSetAndClearOneFlagEach) {
    EXPECT_EQ(CPU_RETURNED, run({
        0x38,  // SEC
        0xF8,  // SED
        0x78,  // SEI
        0x60,  // RTS
    }));
    EXPECT_EQ(1, cpu_state.carry);
    EXPECT_EQ(1, cpu_state.decimal);
    EXPECT_EQ(1, cpu_state.irq_disable);
    cpu_state.overflow = 1;
    EXPECT_EQ(CPU_RETURNED, run({
        0x18,  // CLC
        0xD8,  // CLD
        0x58,  // CLI
        0xB8,  // CLV
        0x60,  // RTS
    }));
    EXPECT_EQ(0, cpu_state.carry);
    EXPECT_EQ(0, cpu_state.decimal);
    EXPECT_EQ(0, cpu_state.irq_disable);
    EXPECT_EQ(0, cpu_state.overflow);
}

}  // namespace
}  // namespace cpu_test

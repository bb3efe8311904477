// The undocumented instructions as the NMOS chip runs them, the NOPs of
// every width and the JAMs.
#include <string>

#include "cpu_test_support.h"

namespace cpu_test {
namespace {

class Undocumented : public CpuTest {};

// ANC, ALR, ARR and SBX, whose flags follow rules of their own ("NMOS 6510
// Unintended Opcodes"): ANC copies N into C; ALR is AND then LSR A; ARR is
// AND then ROR A with C from bit 6 and V from bit 6 XOR bit 5 of the result;
// SBX sets X to (A AND X) - m with a compare's flags, in binary also with D
// set. Results worked by hand.
TEST_F(Undocumented, ImmediateCombinationsAndTheirFlags) {
    struct Case {
        const char* name;
        uint8_t opcode, a, x, m;
        uint16_t carry_in, decimal;
        uint8_t want_a, want_x;
        bool c, v, n, z;
    };
    const Case cases[] = {
        {"ANC 0B bit 7 set", 0x0B, 0xFF, 0, 0x80, 0, 0, 0x80, 0, true, false, true, false},
        {"ANC 2B bit 7 clear", 0x2B, 0xFF, 0, 0x7F, 1, 0, 0x7F, 0, false, false, false, false},
        {"ANC zero", 0x0B, 0x0F, 0, 0xF0, 1, 0, 0x00, 0, false, false, false, true},
        {"ALR shifts out a one", 0x4B, 0x81, 0, 0xFF, 0, 0, 0x40, 0, true, false, false, false},
        {"ALR to zero", 0x4B, 0x01, 0, 0x01, 0, 0, 0x00, 0, true, false, false, true},
        {"ARR carry in, bits 6 and 5 set", 0x6B, 0xFF, 0, 0xFF, 1, 0, 0xFF, 0, true, false, true, false},
        {"ARR bit 5 only", 0x6B, 0xFF, 0, 0x40, 0, 0, 0x20, 0, false, true, false, false},
        {"ARR bit 6 only", 0x6B, 0xFF, 0, 0x80, 0, 0, 0x40, 0, true, true, false, false},
        {"SBX no borrow", 0xCB, 0xF0, 0x3C, 0x10, 0, 0, 0xF0, 0x20, true, false, false, false},
        {"SBX borrow", 0xCB, 0xFF, 0x0F, 0x10, 1, 0, 0xFF, 0xFF, false, false, true, false},
        {"SBX binary with D set", 0xCB, 0x10, 0xFF, 0x01, 0, 1, 0x10, 0x0F, true, false, false, false},
    };
    for (const Case& c : cases) {
        clear_machine();
        cpu_state.a = c.a;
        cpu_state.x = c.x;
        cpu_state.carry = c.carry_in;
        cpu_state.decimal = c.decimal;
        EXPECT_EQ(CPU_RETURNED, run({c.opcode, c.m, 0x60})) << c.name;  // op #m; RTS
        EXPECT_EQ(c.want_a, cpu_state.a) << c.name;
        EXPECT_EQ(c.want_x, cpu_state.x) << c.name;
        EXPECT_EQ(c.c, flag_c()) << c.name;
        EXPECT_EQ(c.v, flag_v()) << c.name;
        EXPECT_EQ(c.n, flag_n()) << c.name;
        EXPECT_EQ(c.z, flag_z()) << c.name;
    }
}

// SHA abs,Y stores A AND X AND (base high + 1); across a page the stored
// value also becomes the high byte of the address. The values were measured
// on a real NMOS 6502 (AppleWin issue 282: SHA $4000,Y and $40FF,Y, Y $41).
TEST_F(Undocumented, ShaStoresTheAndAtAnAddressItAlsoCorruptsAcrossAPage) {
    struct Case {
        uint8_t base_low, a, x;
        uint16_t address;
        uint8_t stored;
    };
    const Case cases[] = {
        {0x00, 0xEA, 0x20, 0x4041, 0x00}, {0x00, 0xEA, 0xFF, 0x4041, 0x40}, {0x00, 0xFF, 0xFF, 0x4041, 0x41},
        {0xFF, 0xEA, 0x20, 0x0040, 0x00}, {0xFF, 0xEA, 0xFF, 0x4040, 0x40}, {0xFF, 0xFF, 0xFF, 0x4140, 0x41},
    };
    for (const Case& c : cases) {
        clear_machine();
        mem(c.address) = 0x99;
        cpu_state.a = c.a;
        cpu_state.x = c.x;
        cpu_state.y = 0x41;
        EXPECT_EQ(CPU_RETURNED, run({0x9F, c.base_low, 0x40, 0x60}));  // SHA $40xx,Y; RTS
        EXPECT_EQ(c.stored, mem(c.address)) << std::hex << int(c.base_low) << " " << int(c.a) << " " << int(c.x);
    }
}

TEST_F(Undocumented, SloShiftsMemoryAndOrsItIntoA) {
    mem(0x40) = 0x81;
    cpu_state.a = 0x10;
    EXPECT_EQ(CPU_RETURNED, run({
        0x07, 0x40,  // SLO $40
        0x60,        // RTS
    }));
    EXPECT_EQ(0x02, mem(0x40));
    EXPECT_EQ(0x12, cpu_state.a);
    EXPECT_TRUE(flag_c());
    EXPECT_FALSE(flag_n());
}

TEST_F(Undocumented, RlaRotatesMemoryAndAndsItIntoA) {
    mem(0x40) = 0x40;
    cpu_state.a = 0x00;
    cpu_state.carry = 0;
    EXPECT_EQ(CPU_RETURNED, run({
        0x27, 0x40,  // RLA $40
        0x60,        // RTS
    }));
    EXPECT_EQ(0x80, mem(0x40));
    EXPECT_EQ(0x00, cpu_state.a);  // 0x00 AND 0x80
    EXPECT_FALSE(flag_c());
    EXPECT_TRUE(flag_z());

    clear_machine();
    mem(0x40) = 0x80;
    cpu_state.a = 0xFF;
    cpu_state.carry = 1;
    EXPECT_EQ(CPU_RETURNED, run({0x27, 0x40, 0x60}));  // RLA $40; RTS
    EXPECT_EQ(0x01, mem(0x40));
    EXPECT_EQ(0x01, cpu_state.a);
    EXPECT_TRUE(flag_c());
}

TEST_F(Undocumented, SaxStoresAAndXInAllFourForms) {
    cpu_state.a = 0xF3;
    cpu_state.x = 0x05;
    cpu_state.y = 0x02;
    cpu_state.sign_source = 0x80;  // no flag may change
    cpu_state.zero_source = 0x80;
    place(0x15, {0x00, 0x31});  // the pointer SAX ($10,X) takes
    EXPECT_EQ(CPU_RETURNED, run({
        0x83, 0x10,        // SAX ($10,X)  at 0x3100
        0x87, 0x20,        // SAX $20
        0x97, 0x30,        // SAX $30,Y
        0x8F, 0x00, 0x30,  // SAX $3000
        0x60,              // RTS
    }));
    EXPECT_EQ(0x01, mem(0x3100));
    EXPECT_EQ(0x01, mem(0x20));
    EXPECT_EQ(0x01, mem(0x32));
    EXPECT_EQ(0x01, mem(0x3000));
    EXPECT_TRUE(flag_n());
    EXPECT_FALSE(flag_z());
}

TEST_F(Undocumented, LaxLoadsAAndX) {
    mem(0x40) = 0x80;
    EXPECT_EQ(CPU_RETURNED, run({
        0xA7, 0x40,  // LAX $40
        0x60,        // RTS
    }));
    EXPECT_EQ(0x80, cpu_state.a);
    EXPECT_EQ(0x80, cpu_state.x);
    EXPECT_TRUE(flag_n());
}

TEST_F(Undocumented, LasAndsMemoryWithSpIntoSpAAndX) {
    mem(0x2003) = 0xF3;
    cpu_state.y = 0x03;
    EXPECT_EQ(CPU_RETURNED, run({
        0xBB, 0x00, 0x20,  // LAS $2000,Y    0xF3 AND sp 0xFD
        0x4C, 0x02, 0x00,  // JMP $0002      the stack pointer has moved
    }));
    EXPECT_EQ(0xF1, cpu_state.sp);
    EXPECT_EQ(0xF1, cpu_state.a);
    EXPECT_EQ(0xF1, cpu_state.x);
    EXPECT_TRUE(flag_n());
    EXPECT_FALSE(flag_z());
}

// DCP is DEC then CMP: C from the unsigned comparison of A with the result.
TEST_F(Undocumented, DcpDecrementsThenCompares) {
    struct Case {
        uint8_t a, m, written;
        bool c, z, n;
    };
    const Case cases[] = {
        {0xF0, 0x11, 0x10, true, false, true},   // 0xF0 >= 0x10, difference 0xE0
        {0x10, 0x11, 0x10, true, true, false},
        {0x10, 0x31, 0x30, false, false, true},  // difference 0xE0
        {0x00, 0x00, 0xFF, false, false, false},  // 0x00 < 0xFF, difference 0x01
    };
    for (const Case& c : cases) {
        clear_machine();
        mem(0x40) = c.m;
        cpu_state.a = c.a;
        cpu_state.carry = !c.c;
        EXPECT_EQ(CPU_RETURNED, run({
            0xC7, 0x40,  // DCP $40
            0x60,        // RTS
        }));
        EXPECT_EQ(c.written, mem(0x40));
        EXPECT_EQ(c.a, cpu_state.a);
        EXPECT_EQ(c.c, flag_c()) << std::hex << int(c.a) << " " << int(c.m);
        EXPECT_EQ(c.z, flag_z());
        EXPECT_EQ(c.n, flag_n());
    }
}

// ISC is INC then SBC, borrow included: a - m' - (1 - C), by hand.
TEST_F(Undocumented, IscIncrementsThenSubtractsWithBorrow) {
    struct Case {
        uint8_t a, m;
        uint16_t carry_in;
        uint8_t written, result;
        bool c, v;
    };
    const Case cases[] = {
        {0x10, 0x9F, 1, 0xA0, 0x70, false, false},  // 16 - 160 borrows
        {0x80, 0x00, 1, 0x01, 0x7F, true, true},    // -128 - 1 overflows
        {0x7F, 0xFE, 1, 0xFF, 0x80, false, true},   // 127 - (-1) overflows
        {0x05, 0x04, 1, 0x05, 0x00, true, false},
        {0x05, 0x04, 0, 0x05, 0xFF, false, false},  // the borrow in takes one more
        {0x05, 0x05, 1, 0x06, 0xFF, false, false},
    };
    for (const Case& c : cases) {
        clear_machine();
        mem(0x40) = c.m;
        cpu_state.a = c.a;
        cpu_state.carry = c.carry_in;
        EXPECT_EQ(CPU_RETURNED, run({
            0xE7, 0x40,  // ISC $40
            0x60,        // RTS
        }));
        const std::string name = std::to_string(c.a) + " " + std::to_string(c.m) + " c" + std::to_string(c.carry_in);
        EXPECT_EQ(c.written, mem(0x40)) << name;
        EXPECT_EQ(c.result, cpu_state.a) << name;
        EXPECT_EQ(c.c, flag_c()) << name;
        EXPECT_EQ(c.v, flag_v()) << name;
        EXPECT_EQ(c.result == 0, flag_z()) << name;
        EXPECT_EQ((c.result & 0x80) != 0, flag_n()) << name;
    }
}

// A JAM stops the chip: the call is abandoned with pc on the JAM, and the
// next call runs again.
TEST_F(Undocumented, JamStopsTheChipAndAbandonsTheCall) {
    for (uint8_t opcode : {0x02, 0x12, 0x22, 0x32, 0x42, 0x52, 0x62, 0x72, 0x92, 0xB2, 0xD2, 0xF2}) {
        clear_machine();
        EXPECT_EQ(CPU_ABANDONED, run({opcode, 0xE8, 0x60})) << std::hex << int(opcode);  // JAM; INX; RTS
        EXPECT_EQ(code, cpu_state.pc) << std::hex << int(opcode);
        EXPECT_EQ(0, cpu_state.x) << std::hex << int(opcode);
        EXPECT_EQ(1, cpu_instructions_executed) << std::hex << int(opcode);
        EXPECT_EQ(CPU_RETURNED, cpu_call(code + 1)) << std::hex << int(opcode);
        EXPECT_EQ(1, cpu_state.x) << std::hex << int(opcode);
    }
}

// The one-byte no-ops: NOP and the six undocumented ones.
std::vector<uint8_t> one_byte_no_ops() { return {0xEA, 0x1A, 0x3A, 0x5A, 0x7A, 0xDA, 0xFA}; }

TEST_F(Undocumented, OneByteNoOpsRunTheNextByteAsAnOpcode) {
    for (uint8_t opcode : one_byte_no_ops()) {
        clear_machine();
        EXPECT_EQ(CPU_RETURNED, run({
            opcode,
            0xE8,  // INX
            0x60,  // RTS
        })) << std::hex << int(opcode);
        EXPECT_EQ(1, cpu_state.x) << std::hex << int(opcode);
        EXPECT_EQ(3, cpu_instructions_executed) << std::hex << int(opcode);
    }
    // 0x34 is two bytes long, like its row-mate 0x14: the INX is its operand.
    for (uint8_t opcode : {0x14, 0x34}) {
        clear_machine();
        EXPECT_EQ(CPU_RETURNED, run({
            opcode, 0xE8,  // NOP $E8,X
            0x60,          // RTS
        }));
        EXPECT_EQ(0, cpu_state.x) << std::hex << int(opcode);
    }
}

// A machine state with every register and flag away from its start value,
// compared whole before and after a no-op.
void set_busy_state() {
    for (uint32_t address = 0; address < 0x10000; ++address) mem(address) = static_cast<uint8_t>(address * 7 + 3);
    cpu_state.a = 0x5A;
    cpu_state.x = 0x21;
    cpu_state.y = 0x43;
    cpu_state.sign_source = 0x80;
    cpu_state.zero_source = 0x00;
    cpu_state.carry = 1;
    cpu_state.overflow = 1;
    cpu_state.decimal = 1;
    cpu_state.irq_disable = 1;
    mem(0x01FF) = 0x00;  // the harness's return address, so that the image
    mem(0x01FE) = 0x01;  // before the call already holds what the call pushes
}

TEST_F(Undocumented, NoOpsOfEveryWidthChangeNothing) {
    struct Case {
        std::vector<uint8_t> instruction;
    };
    std::vector<Case> cases;
    for (uint8_t opcode : one_byte_no_ops()) cases.push_back({{opcode}});
    for (uint8_t opcode : {0x04, 0x44, 0x64, 0x14, 0x34, 0x54, 0x74, 0xD4, 0xF4, 0x80, 0x82, 0x89, 0xC2, 0xE2})
        cases.push_back({{opcode, 0x40}});
    for (uint8_t opcode : {0x0C, 0x1C, 0x3C, 0x5C, 0x7C, 0xDC, 0xFC}) cases.push_back({{opcode, 0x18, 0xD4}});
    ASSERT_EQ(28u, cases.size());

    for (const Case& c : cases) {
        clear_machine();
        set_busy_state();
        place(code, c.instruction);
        mem(code + c.instruction.size()) = 0x60;  // RTS
        const std::vector<uint8_t> before(memory_image.bytes, memory_image.bytes + 0x10000);
        const CpuState registers_before = cpu_state;

        EXPECT_EQ(CPU_RETURNED, cpu_call(code)) << std::hex << int(c.instruction[0]);
        EXPECT_EQ(2, cpu_instructions_executed) << std::hex << int(c.instruction[0]);
        EXPECT_TRUE(std::equal(before.begin(), before.end(), memory_image.bytes))
            << std::hex << int(c.instruction[0]);
        EXPECT_EQ(Log{}, logged()) << std::hex << int(c.instruction[0]);
        EXPECT_EQ(registers_before.a, cpu_state.a);
        EXPECT_EQ(registers_before.x, cpu_state.x);
        EXPECT_EQ(registers_before.y, cpu_state.y);
        EXPECT_EQ(registers_before.sp, cpu_state.sp);
        EXPECT_EQ(registers_before.sign_source, cpu_state.sign_source);
        EXPECT_EQ(registers_before.zero_source, cpu_state.zero_source);
        EXPECT_EQ(registers_before.carry, cpu_state.carry);
        EXPECT_EQ(registers_before.overflow, cpu_state.overflow);
        EXPECT_EQ(registers_before.decimal, cpu_state.decimal);
        EXPECT_EQ(registers_before.irq_disable, cpu_state.irq_disable);
    }
}

}  // namespace
}  // namespace cpu_test

// The undocumented instructions as this core defines them, and the no-op
// slots: BRK, the NOPs of every width and the 35 empty slots.
#include <array>

#include "cpu_test_support.h"

namespace cpu_test {
namespace {

class Undocumented : public CpuTest {};

TEST_F(Undocumented, AncAndsAndSetsCarryToTheInverseOfBitSeven) {
    struct Case {
        uint8_t a, m, result;
        bool c;
    };
    for (const Case c : {Case{0xFF, 0x80, 0x80, false}, Case{0xFF, 0x7F, 0x7F, true}, Case{0x0F, 0xF0, 0x00, true}}) {
        for (uint8_t opcode : {0x0B, 0x2B}) {
            clear_machine();
            cpu_state.a = c.a;
            cpu_state.carry = !c.c;
            EXPECT_EQ(CPU_RETURNED, run({opcode, c.m, 0x60}));  // ANC #m; RTS
            EXPECT_EQ(c.result, cpu_state.a);
            EXPECT_EQ(c.c, flag_c());
            EXPECT_EQ((c.result & 0x80) != 0, flag_n());
            EXPECT_EQ(c.result == 0, flag_z());
        }
    }
}

TEST_F(Undocumented, AsrIsOneByteAndKeepsBitSeven) {
    cpu_state.a = 0x81;
    EXPECT_EQ(CPU_RETURNED, run({
        0x4B,  // ASR
        0xE8,  // INX     executed as the next opcode, not taken as an operand
        0x60,  // RTS
    }));
    EXPECT_EQ(0xC0, cpu_state.a);
    EXPECT_TRUE(flag_c());
    EXPECT_EQ(1, cpu_state.x);

    clear_machine();
    cpu_state.a = 0x01;
    EXPECT_EQ(CPU_RETURNED, run({0x4B, 0x60}));  // ASR; RTS
    EXPECT_EQ(0x00, cpu_state.a);
    EXPECT_TRUE(flag_c());
    EXPECT_TRUE(flag_z());
    EXPECT_FALSE(flag_n());
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

TEST_F(Undocumented, RlaCopiesTheRotatedByteIntoAWithoutAnd) {
    mem(0x40) = 0x40;
    cpu_state.a = 0x00;
    cpu_state.carry = 0;
    EXPECT_EQ(CPU_RETURNED, run({
        0x27, 0x40,  // RLA $40
        0x60,        // RTS
    }));
    EXPECT_EQ(0x80, mem(0x40));
    EXPECT_EQ(0x80, cpu_state.a);
    EXPECT_FALSE(flag_c());
    EXPECT_TRUE(flag_n());

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
    EXPECT_EQ(CPU_RETURNED, run({
        0x83, 0x10,        // SAX $10,X    at 0x15, directly, not through a pointer
        0x87, 0x20,        // SAX $20
        0x97, 0x30,        // SAX $30,Y
        0x8F, 0x00, 0x30,  // SAX $3000
        0x60,              // RTS
    }));
    EXPECT_EQ(0x01, mem(0x15));
    EXPECT_EQ(0x01, mem(0x20));
    EXPECT_EQ(0x01, mem(0x32));
    EXPECT_EQ(0x01, mem(0x3000));
    EXPECT_EQ(0x00, mem(0x0000));  // where a pointer at 0x15 would have led
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

TEST_F(Undocumented, DcpTakesCarryFromTheSignOfTheDifference) {
    struct Case {
        uint8_t a, m, written;
        bool c, z, n;
    };
    const Case cases[] = {
        {0xF0, 0x11, 0x10, false, false, true},  // 0xF0 - 0x10 = 0xE0: C clear although 0xF0 >= 0x10
        {0x10, 0x11, 0x10, true, true, false},
        {0x10, 0x31, 0x30, false, false, true},
        {0x00, 0x00, 0xFF, true, false, false},  // 0x00 - 0xFF = 0x01
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

TEST_F(Undocumented, IscComparesSignedAndIgnoresTheOldCarry) {
    struct Case {
        uint8_t a, m, written, result;
        bool c, v;
    };
    const Case cases[] = {
        {0x10, 0x9F, 0xA0, 0x70, true, false},   // 16 >= -96
        {0x80, 0x00, 0x01, 0x7F, false, true},   // -128 - 1 overflows
        {0x7F, 0xFE, 0xFF, 0x80, true, true},    // 127 - (-1) overflows
        {0x05, 0x04, 0x05, 0x00, true, false},
        {0x05, 0x05, 0x06, 0xFF, false, false},
    };
    for (const Case& c : cases) {
        for (uint16_t carry_in : {0, 1}) {
            clear_machine();
            mem(0x40) = c.m;
            cpu_state.a = c.a;
            cpu_state.carry = carry_in;
            EXPECT_EQ(CPU_RETURNED, run({
                0xE7, 0x40,  // ISC $40
                0x60,        // RTS
            }));
            EXPECT_EQ(c.written, mem(0x40));
            EXPECT_EQ(c.result, cpu_state.a) << std::hex << int(c.a) << " " << int(c.m) << " c" << carry_in;
            EXPECT_EQ(c.c, flag_c()) << std::hex << int(c.a) << " " << int(c.m) << " c" << carry_in;
            EXPECT_EQ(c.v, flag_v()) << std::hex << int(c.a) << " " << int(c.m);
            EXPECT_EQ(c.result == 0, flag_z());
            EXPECT_EQ((c.result & 0x80) != 0, flag_n());
        }
    }
}

// The one-byte no-ops: BRK, NOP, the six undocumented NOPs, 0x34 and the 35
// empty slots.
const std::array<uint8_t, 35> empty_slots = {
    0x02, 0x12, 0x22, 0x32, 0x42, 0x52, 0x62, 0x72, 0x92, 0xB2, 0xD2, 0xF2,
    0x43, 0x47, 0x4F, 0x53, 0x57, 0x5B, 0x5F, 0x63, 0x67, 0x6B, 0x6F, 0x73,
    0x77, 0x7B, 0x7F, 0x8B, 0x93, 0x9B, 0x9C, 0x9E, 0x9F, 0xAB, 0xCB,
};

std::vector<uint8_t> one_byte_no_ops() {
    std::vector<uint8_t> ops = {0x00, 0xEA, 0x1A, 0x3A, 0x5A, 0x7A, 0xDA, 0xFA, 0x34};
    for (uint8_t slot : empty_slots) ops.push_back(slot);
    return ops;
}

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
    // 0x34's row-mate 0x14 is two bytes long: the INX is its operand.
    clear_machine();
    EXPECT_EQ(CPU_RETURNED, run({
        0x14, 0xE8,  // NOP $E8,X
        0x60,        // RTS
    }));
    EXPECT_EQ(0, cpu_state.x);
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
    mem(0x01FE) = 0x00;  // the harness's return address, so that the image
    mem(0x01FD) = 0x01;  // before the call already holds what the call pushes
}

TEST_F(Undocumented, NoOpsOfEveryWidthChangeNothing) {
    struct Case {
        std::vector<uint8_t> instruction;
    };
    std::vector<Case> cases;
    for (uint8_t opcode : one_byte_no_ops()) cases.push_back({{opcode}});
    for (uint8_t opcode : {0x04, 0x44, 0x64, 0x14, 0x54, 0x74, 0xD4, 0xF4, 0x80, 0x82, 0x89, 0xC2, 0xE2})
        cases.push_back({{opcode, 0x40}});
    for (uint8_t opcode : {0x0C, 0x1C, 0x3C, 0x5C, 0x7C, 0xDC, 0xFC}) cases.push_back({{opcode, 0x18, 0xD4}});
    ASSERT_EQ(64u, cases.size());

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

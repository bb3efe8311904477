// Loads, stores and transfers, and the effective address of every addressing
// mode, including the zero-page wraps the 6502 makes and the ones it does not.
#include "cpu_test_support.h"

namespace cpu_test {
namespace {

class LoadsStores : public CpuTest {};

// One row per addressing mode of LDA. The STA of the same mode is the LDA
// opcode minus 0x20, so each row proves both reach the same address.
struct ModeCase {
    const char* name;
    std::vector<uint8_t> instruction;                      // the LDA form
    uint8_t x, y;
    std::vector<std::pair<uint16_t, uint8_t>> pointers;    // set up before the run
    uint16_t ea;                                           // where the operand must come from
    uint16_t decoy;                                        // where a wrong wrap would look
};

const ModeCase mode_cases[] = {
    {"zp", {0xA5, 0x10}, 0, 0, {}, 0x0010, 0x0000},
    {"zp,X", {0xB5, 0x10}, 0x05, 0, {}, 0x0015, 0x0010},
    {"zp,X wraps within page zero", {0xB5, 0xF0}, 0x20, 0, {}, 0x0010, 0x0110},
    {"abs", {0xAD, 0x34, 0x12}, 0, 0, {}, 0x1234, 0x3412},
    {"abs,X across a page", {0xBD, 0xFF, 0x12}, 0x01, 0, {}, 0x1300, 0x1200},
    {"abs,Y across a page", {0xB9, 0xF0, 0x12}, 0, 0x20, {}, 0x1310, 0x1210},
    {"(zp,X)", {0xA1, 0x20}, 0x04, 0, {{0x24, 0x34}, {0x25, 0x12}}, 0x1234, 0x0000},
    {"(zp,X) index wraps within page zero", {0xA1, 0xF0}, 0x14, 0, {{0x04, 0x78}, {0x05, 0x56}}, 0x5678, 0x0000},
    {"(zp,X) pointer at 0xFF takes its high byte from 0x0000", {0xA1, 0xFF}, 0x00, 0,
     {{0xFF, 0x34}, {0x100, 0x12}, {0x00, 0x56}}, 0x5634, 0x1234},
    {"(zp),Y across a page", {0xB1, 0x30}, 0, 0x05, {{0x30, 0xFE}, {0x31, 0x12}}, 0x1303, 0x1203},
    {"(zp),Y pointer at 0xFF takes its high byte from 0x0000", {0xB1, 0xFF}, 0, 0x01,
     {{0xFF, 0x34}, {0x00, 0x12}, {0x100, 0x56}}, 0x1235, 0x5635},
};

TEST_F(LoadsStores, LdaReadsFromTheAddressItsModeForms) {
    for (const ModeCase& c : mode_cases) {
        clear_machine();
        for (auto [address, value] : c.pointers) mem(address) = value;
        mem(c.decoy) = 0x66;
        mem(c.ea) = 0x99;
        cpu_state.x = c.x;
        cpu_state.y = c.y;
        place(code, c.instruction);
        mem(code + c.instruction.size()) = 0x60;  // RTS
        EXPECT_EQ(CPU_RETURNED, cpu_call(code)) << c.name;
        EXPECT_EQ(0x99, cpu_state.a) << c.name;
        EXPECT_EQ(2, cpu_instructions_executed) << c.name;
    }
}

TEST_F(LoadsStores, StaWritesToTheAddressItsModeForms) {
    for (const ModeCase& c : mode_cases) {
        clear_machine();
        for (auto [address, value] : c.pointers) mem(address) = value;
        cpu_state.x = c.x;
        cpu_state.y = c.y;
        cpu_state.a = 0x99;
        std::vector<uint8_t> store = c.instruction;
        store[0] -= 0x20;  // LDA -> STA of the same mode
        place(code, store);
        mem(code + store.size()) = 0x60;  // RTS
        const uint8_t decoy_before = mem(c.decoy);
        EXPECT_EQ(CPU_RETURNED, cpu_call(code)) << c.name;
        EXPECT_EQ(0x99, mem(c.ea)) << c.name;
        EXPECT_EQ(decoy_before, mem(c.decoy)) << c.name;
    }
}

TEST_F(LoadsStores, IndexAndYRegisterModesOfLdxLdyStxSty) {
    struct Case {
        const char* name;
        std::vector<uint8_t> instruction;
        uint8_t x, y;
        uint16_t ea;
        bool load_x;  // for loads: which register receives
    };
    // Loads: the operand 0x99 placed at ea must reach the register.
    const Case loads[] = {
        {"LDX #imm", {0xA2, 0x99}, 0, 0, code + 1, true},
        {"LDX zp", {0xA6, 0x40}, 0, 0, 0x0040, true},
        {"LDX zp,Y wraps", {0xB6, 0xF0}, 0, 0x20, 0x0010, true},
        {"LDX abs", {0xAE, 0x00, 0x30}, 0, 0, 0x3000, true},
        {"LDX abs,Y", {0xBE, 0xFF, 0x30}, 0, 0x02, 0x3101, true},
        {"LDY #imm", {0xA0, 0x99}, 0, 0, code + 1, false},
        {"LDY zp", {0xA4, 0x40}, 0, 0, 0x0040, false},
        {"LDY zp,X wraps", {0xB4, 0xF0}, 0x20, 0, 0x0010, false},
        {"LDY abs", {0xAC, 0x00, 0x30}, 0, 0, 0x3000, false},
        {"LDY abs,X", {0xBC, 0xFF, 0x30}, 0x02, 0, 0x3101, false},
    };
    for (const Case& c : loads) {
        clear_machine();
        cpu_state.x = c.x;
        cpu_state.y = c.y;
        place(code, c.instruction);
        mem(code + c.instruction.size()) = 0x60;  // RTS
        mem(c.ea) = 0x99;
        EXPECT_EQ(CPU_RETURNED, cpu_call(code)) << c.name;
        EXPECT_EQ(0x99, c.load_x ? cpu_state.x : cpu_state.y) << c.name;
        EXPECT_TRUE(flag_n()) << c.name;
        EXPECT_FALSE(flag_z()) << c.name;
    }
    // Stores: x = 0x20 and y = 0x30 go to ea.
    const Case stores[] = {
        {"STX zp", {0x86, 0x40}, 0x20, 0x30, 0x0040, true},
        {"STX zp,Y wraps", {0x96, 0xF0}, 0x20, 0x30, 0x0020, true},
        {"STX abs", {0x8E, 0x00, 0x30}, 0x20, 0x30, 0x3000, true},
        {"STY zp", {0x84, 0x40}, 0x20, 0x30, 0x0040, false},
        {"STY zp,X wraps", {0x94, 0xF0}, 0x20, 0x30, 0x0010, false},
        {"STY abs", {0x8C, 0x00, 0x30}, 0x20, 0x30, 0x3000, false},
    };
    for (const Case& c : stores) {
        clear_machine();
        cpu_state.x = c.x;
        cpu_state.y = c.y;
        place(code, c.instruction);
        mem(code + c.instruction.size()) = 0x60;  // RTS
        EXPECT_EQ(CPU_RETURNED, cpu_call(code)) << c.name;
        EXPECT_EQ(c.load_x ? 0x20 : 0x30, mem(c.ea)) << c.name;
    }
}

TEST_F(LoadsStores, LoadsSetNAndZStoresChangeNoFlag) {
    struct Case { uint8_t value; bool n, z; };
    for (const Case c : {Case{0x00, false, true}, Case{0x7F, false, false}, Case{0x80, true, false}}) {
        clear_machine();
        EXPECT_EQ(CPU_RETURNED, run({
            0xA9, c.value,     // LDA #value
            0x60,              // RTS
        }));
        EXPECT_EQ(c.n, flag_n()) << int(c.value);
        EXPECT_EQ(c.z, flag_z()) << int(c.value);
    }
    clear_machine();
    cpu_state.a = 0x00;
    cpu_state.x = 0x80;
    cpu_state.y = 0x01;
    cpu_state.sign_source = 0x80;  // N set, Z clear before the stores
    cpu_state.zero_source = 0x80;
    EXPECT_EQ(CPU_RETURNED, run({
        0x8D, 0x00, 0x30,  // STA $3000
        0x8E, 0x01, 0x30,  // STX $3001
        0x8C, 0x02, 0x30,  // STY $3002
        0x60,              // RTS
    }));
    EXPECT_TRUE(flag_n());
    EXPECT_FALSE(flag_z());
}

TEST_F(LoadsStores, TransfersSetNAndZExceptThoseOfTheStackPointer) {
    struct Case {
        const char* name;
        uint8_t opcode;
        uint8_t a, x, y;
        uint8_t want_a, want_x, want_y;
    };
    const Case cases[] = {
        {"TAX", 0xAA, 0x80, 0x01, 0x02, 0x80, 0x80, 0x02},
        {"TAY", 0xA8, 0x80, 0x01, 0x02, 0x80, 0x01, 0x80},
        {"TXA", 0x8A, 0x01, 0x80, 0x02, 0x80, 0x80, 0x02},
        {"TYA", 0x98, 0x01, 0x02, 0x80, 0x80, 0x02, 0x80},
        {"TAX zero", 0xAA, 0x00, 0x01, 0x02, 0x00, 0x00, 0x02},
    };
    for (const Case& c : cases) {
        clear_machine();
        cpu_state.a = c.a;
        cpu_state.x = c.x;
        cpu_state.y = c.y;
        EXPECT_EQ(CPU_RETURNED, run({c.opcode, 0x60}));
        EXPECT_EQ(c.want_a, cpu_state.a) << c.name;
        EXPECT_EQ(c.want_x, cpu_state.x) << c.name;
        EXPECT_EQ(c.want_y, cpu_state.y) << c.name;
        EXPECT_EQ((c.want_a & 0x80) != 0, flag_n()) << c.name;
        EXPECT_EQ(c.want_a == 0, flag_z()) << c.name;
    }
}

// TSX sets N and Z from the value it copies, like the other transfers.
TEST_F(LoadsStores, TsxAfterLdaZeroSetsNAndZFromTheStackPointer) {
    EXPECT_EQ(CPU_RETURNED, run({
        0xA9, 0x00,        // LDA #$00   Z set
        0xBA,              // TSX        x = 0xFD: Z clear, N set
        0x8E, 0x00, 0x20,  // STX $2000
        0xF0, 0x01,        // BEQ +1     not taken
        0xE8,              // INX        x = 0xFE
        0x60,              // RTS
    }));
    EXPECT_EQ(0xFD, mem(0x2000));
    EXPECT_EQ(0xFE, cpu_state.x);
    EXPECT_FALSE(flag_z());
    EXPECT_TRUE(flag_n());
}

TEST_F(LoadsStores, TxsChangesNoFlag) {
    EXPECT_EQ(CPU_RETURNED, run({
        0xA2, 0x00,        // LDX #$00
        0xA9, 0x80,        // LDA #$80      N set, Z clear
        0x9A,              // TXS           sp = 0; flags as LDA left them
        0x4C, 0x02, 0x00,  // JMP $0002     (the stack no longer holds the way home)
    }));
    EXPECT_TRUE(flag_n());
    EXPECT_FALSE(flag_z());
    EXPECT_EQ(0x00, cpu_state.sp);
}

}  // namespace
}  // namespace cpu_test

// Capture of stores into the SID area 0xD400..0xD7FF: which instructions are
// recorded, how mirrors fold, where another chip takes a mirror, and what
// happens when a call stores too much.
#include "cpu_test_support.h"

namespace cpu_test {
namespace {

class SidCapture : public CpuTest {};

TEST_F(SidCapture, StaIntoVolumeRegisterIsStoredAndRecorded) {
    cpu_state.a = 0x0F;
    EXPECT_EQ(CPU_RETURNED, run({
        0x8D, 0x18, 0xD4,  // STA $D418
        0x60,              // RTS
    }));
    EXPECT_EQ((Log{{24, 0x0F}}), logged());
    EXPECT_EQ(0x0F, mem(0xD418));
}

TEST_F(SidCapture, AreaBoundsAndMirrors) {
    struct Case {
        uint16_t address;
        int32_t index;  // -1: not recorded
    };
    const Case cases[] = {
        {0xD3FF, -1}, {0xD400, 0},  {0xD418, 24}, {0xD419, 25}, {0xD41F, 31},
        {0xD420, 0},  {0xD438, 24}, {0xD5E5, 5},  {0xD7FF, 31}, {0xD800, -1},
        {0xDC04, -1}, {0x0400, -1},
    };
    for (const Case c : cases) {
        clear_machine();
        cpu_state.a = 0x5B;
        EXPECT_EQ(CPU_RETURNED, run({
            0x8D, static_cast<uint8_t>(c.address), static_cast<uint8_t>(c.address >> 8),  // STA address
            0x60,                                                                          // RTS
        }));
        EXPECT_EQ(0x5B, mem(c.address)) << std::hex << c.address;
        const Log want = c.index < 0 ? Log{} : Log{{c.index, 0x5B}};
        EXPECT_EQ(want, logged()) << std::hex << c.address;
    }
}

TEST_F(SidCapture, EveryRecordingStoreRecordsTheByteItStored) {
    struct Case {
        const char* name;
        std::vector<uint8_t> instruction;
        uint8_t value;   // the byte the instruction stores
        int32_t index;
    };
    const Case cases[] = {
        {"STA abs", {0x8D, 0x38, 0xD4}, 0xF3, 24},
        {"STA abs,X", {0x9D, 0x00, 0xD4}, 0xF3, 24},       // x = 0x18
        {"STA abs,Y", {0x99, 0x00, 0xD4}, 0xF3, 5},        // y = 0x05
        {"STA (zp,X)", {0x81, 0x38}, 0xF3, 17},            // pointer at 0x50 -> 0xD411
        {"STA (zp),Y", {0x91, 0x60}, 0xF3, 7},             // pointer at 0x60 -> 0xD402, + 5
        {"STX abs", {0x8E, 0x01, 0xD4}, 0x18, 1},
        {"STY abs", {0x8C, 0x02, 0xD4}, 0x05, 2},
        {"SAX abs", {0x8F, 0x03, 0xD4}, 0xF3 & 0x18, 3},
    };
    for (const Case& c : cases) {
        clear_machine();
        cpu_state.a = 0xF3;
        cpu_state.x = 0x18;
        cpu_state.y = 0x05;
        place(0x0050, {0x11, 0xD4});
        place(0x0060, {0x02, 0xD4});
        place(code, c.instruction);
        mem(code + c.instruction.size()) = 0x60;  // RTS
        EXPECT_EQ(CPU_RETURNED, cpu_call(code)) << c.name;
        EXPECT_EQ((Log{{c.index, c.value}}), logged()) << c.name;
    }
}

// Read-modify-write instructions write the unmodified byte back before the
// result, as the chip does; the SID receives both, so both are recorded.
TEST_F(SidCapture, ReadModifyWriteInstructionsRecordTheUnmodifiedByteThenTheResult) {
    struct Case {
        const char* name;
        std::vector<uint8_t> instruction;
        uint8_t result;  // 0xD418 starts at 0x41, carry clear
    };
    const Case cases[] = {
        {"ASL abs", {0x0E, 0x18, 0xD4}, 0x82},  {"ASL abs,X", {0x1E, 0x10, 0xD4}, 0x82},
        {"LSR abs", {0x4E, 0x18, 0xD4}, 0x20},  {"LSR abs,X", {0x5E, 0x10, 0xD4}, 0x20},
        {"ROL abs", {0x2E, 0x18, 0xD4}, 0x82},  {"ROL abs,X", {0x3E, 0x10, 0xD4}, 0x82},
        {"ROR abs", {0x6E, 0x18, 0xD4}, 0x20},  {"ROR abs,X", {0x7E, 0x10, 0xD4}, 0x20},
        {"INC abs", {0xEE, 0x18, 0xD4}, 0x42},  {"INC abs,X", {0xFE, 0x10, 0xD4}, 0x42},
        {"DEC abs", {0xCE, 0x18, 0xD4}, 0x40},  {"DEC abs,X", {0xDE, 0x10, 0xD4}, 0x40},
        {"SLO abs", {0x0F, 0x18, 0xD4}, 0x82},  {"SLO abs,X", {0x1F, 0x10, 0xD4}, 0x82},
        {"SLO abs,Y", {0x1B, 0x10, 0xD4}, 0x82}, {"SLO (zp,X)", {0x03, 0x48}, 0x82},
        {"SLO (zp),Y", {0x13, 0x60}, 0x82},
        {"RLA abs", {0x2F, 0x18, 0xD4}, 0x82},  {"RLA abs,X", {0x3F, 0x10, 0xD4}, 0x82},
        {"RLA abs,Y", {0x3B, 0x10, 0xD4}, 0x82}, {"RLA (zp,X)", {0x23, 0x48}, 0x82},
        {"RLA (zp),Y", {0x33, 0x60}, 0x82},
        {"DCP abs", {0xCF, 0x18, 0xD4}, 0x40},  {"DCP abs,X", {0xDF, 0x10, 0xD4}, 0x40},
        {"DCP abs,Y", {0xDB, 0x10, 0xD4}, 0x40}, {"DCP (zp,X)", {0xC3, 0x48}, 0x40},
        {"DCP (zp),Y", {0xD3, 0x60}, 0x40},
        {"ISC abs", {0xEF, 0x18, 0xD4}, 0x42},  {"ISC abs,X", {0xFF, 0x10, 0xD4}, 0x42},
        {"ISC abs,Y", {0xFB, 0x10, 0xD4}, 0x42}, {"ISC (zp,X)", {0xE3, 0x48}, 0x42},
        {"ISC (zp),Y", {0xF3, 0x60}, 0x42},
    };
    for (const Case& c : cases) {
        clear_machine();
        cpu_state.x = 0x08;
        cpu_state.y = 0x08;
        mem(0xD418) = 0x41;
        place(0x0050, {0x18, 0xD4});  // (zp,X): operand 0x48 + x
        place(0x0060, {0x10, 0xD4});  // (zp),Y: 0xD410 + y
        place(code, c.instruction);
        mem(code + c.instruction.size()) = 0x60;  // RTS
        EXPECT_EQ(CPU_RETURNED, cpu_call(code)) << c.name;
        EXPECT_EQ(c.result, mem(0xD418)) << c.name;
        EXPECT_EQ((Log{{24, 0x41}, {24, c.result}}), logged()) << c.name;
    }
}

TEST_F(SidCapture, ZeroPageStoresAreNeverRecorded) {
    cpu_state.a = 0xD4;
    cpu_state.x = 0x18;
    cpu_state.y = 0x18;
    EXPECT_EQ(CPU_RETURNED, run({
        0x85, 0x00,  // STA $00
        0x95, 0x00,  // STA $00,X
        0x86, 0x01,  // STX $01
        0x96, 0x01,  // STX $01,Y
        0x84, 0x02,  // STY $02
        0x94, 0x02,  // STY $02,X
        0x87, 0x03,  // SAX $03
        0x97, 0x03,  // SAX $03,Y
        0x60,        // RTS
    }));
    EXPECT_EQ(Log{}, logged());
    EXPECT_EQ(0xD4, mem(0x00));
    EXPECT_EQ(0xD4, mem(0x18));
    EXPECT_EQ(0x18, mem(0x19));
    EXPECT_EQ(0x10, mem(0x1B));  // SAX $03,Y: 0xD4 AND 0x18
}

TEST_F(SidCapture, StoresAreRecordedInOrderRepeatsIncluded) {
    EXPECT_EQ(CPU_RETURNED, run({
        0xA9, 0x01,        // LDA #$01
        0x8D, 0x04, 0xD4,  // STA $D404
        0xA2, 0x02,        // LDX #$02
        0x8E, 0x00, 0xD4,  // STX $D400
        0xA9, 0x03,        // LDA #$03
        0x8D, 0x04, 0xD4,  // STA $D404
        0x60,              // RTS
    }));
    EXPECT_EQ((Log{{4, 0x01}, {0, 0x02}, {4, 0x03}}), logged());
}

// A second SID mapped at 0xD420 and a third at 0xD5E0, over two of the first
// chip's mirrors: their windows are theirs, logged as chip * 32 + register,
// every other mirror the first's. Then the same two chips in the expansion
// port's area, at 0xDE00 and 0xDFE0: the rest of that area is no SID's.
TEST_F(SidCapture, AnotherChipsWindowIsNotTheFirstSids) {
    struct Case {
        uint16_t second, third;
        uint16_t address;
        int32_t index;  // -1: not logged
    };
    const Case cases[] = {
        {0xD420, 0xD5E0, 0xD400, 0}, {0xD420, 0xD5E0, 0xD41F, 31}, {0xD420, 0xD5E0, 0xD420, 32 + 0},
        {0xD420, 0xD5E0, 0xD438, 32 + 24}, {0xD420, 0xD5E0, 0xD43F, 32 + 31}, {0xD420, 0xD5E0, 0xD440, 0},
        {0xD420, 0xD5E0, 0xD5DF, 31}, {0xD420, 0xD5E0, 0xD5E0, 64 + 0}, {0xD420, 0xD5E0, 0xD5FF, 64 + 31},
        {0xD420, 0xD5E0, 0xD600, 0}, {0xD420, 0xD5E0, 0xD7F8, 24}, {0xD420, 0xD5E0, 0xDE00, -1},
        {0xDE00, 0xDFE0, 0xDE00, 32 + 0}, {0xDE00, 0xDFE0, 0xDE18, 32 + 24}, {0xDE00, 0xDFE0, 0xDE20, -1},
        {0xDE00, 0xDFE0, 0xDFDF, -1}, {0xDE00, 0xDFE0, 0xDFE4, 64 + 4}, {0xDE00, 0xDFE0, 0xD420, 0},
        {0xDE00, 0xDFE0, 0xDDFF, -1}, {0xDE00, 0xDFE0, 0xE000, -1},
    };
    for (const Case c : cases) {
        clear_machine();
        other_sid_windows = sid_window_bit(c.second) | sid_window_bit(c.third);
        third_sid_windows = sid_window_bit(c.third);
        cpu_state.a = 0x5B;
        EXPECT_EQ(CPU_RETURNED, run({
            0x8D, static_cast<uint8_t>(c.address), static_cast<uint8_t>(c.address >> 8),  // STA address
            0x60,                                                                          // RTS
        }));
        EXPECT_EQ(0x5B, mem(c.address)) << std::hex << c.address;
        EXPECT_EQ((c.index < 0 ? Log{} : Log{{c.index, 0x5B}}), logged()) << std::hex << c.address;
    }
    other_sid_windows = 0;
    third_sid_windows = 0;

    // Only a 32-byte step past the first chip, inside its mirror area or the
    // expansion port's, has a window.
    EXPECT_EQ(sid_window_bit(0xD420), 1u << 1);
    EXPECT_EQ(sid_window_bit(0xD7E0), 1u << 31);
    EXPECT_EQ(sid_window_bit(0xDE00), uint64_t{1} << 32);
    EXPECT_EQ(sid_window_bit(0xDFE0), uint64_t{1} << 47);
    EXPECT_EQ(sid_window_bit(0xD400), 0u);
    EXPECT_EQ(sid_window_bit(0xD430), 0u);
    EXPECT_EQ(sid_window_bit(0xD800), 0u);
    EXPECT_EQ(sid_window_bit(0xDE10), 0u);
    EXPECT_EQ(sid_window_bit(0xE000), 0u);
}

// A loop that stores its counter n times into 0xD400, counting down from n.
void place_store_loop(uint8_t n) {
    place(code, {
        0xA2, n,           // 1000 LDX #n
        0x8E, 0x00, 0xD4,  // 1002 STX $D400
        0xCA,              // 1005 DEX
        0xD0, 0xFA,        // 1006 BNE $1002
        0x60,              // 1008 RTS
    });
}

TEST_F(SidCapture, TwoHundredStoresKeepTheFirst126) {
    place_store_loop(200);
    EXPECT_EQ(CPU_RETURNED, cpu_call(code));
    const Log log = logged();
    ASSERT_EQ(126u, log.size());
    for (int k = 0; k < 126; ++k) EXPECT_EQ((std::pair<int32_t, uint8_t>{0, uint8_t(200 - k)}), log[k]);
    EXPECT_EQ(-1, sid_write_log.registers[126]);
    EXPECT_EQ(0x5A5A, sid_write_log.registers[127]);  // never reached
    EXPECT_EQ(1, mem(0xD400));                        // memory saw every store
}

TEST_F(SidCapture, ExactlyFullLogAndOneStoreTooMany) {
    place_store_loop(126);
    EXPECT_EQ(CPU_RETURNED, cpu_call(code));
    ASSERT_EQ(126u, logged().size());
    EXPECT_EQ(1, sid_write_log.values[125]);
    EXPECT_EQ(-1, sid_write_log.registers[126]);

    clear_machine();
    place_store_loop(127);
    EXPECT_EQ(CPU_RETURNED, cpu_call(code));
    ASSERT_EQ(126u, logged().size());
    EXPECT_EQ(2, sid_write_log.values[125]);  // the 127th store (value 1) is dropped
    EXPECT_EQ(-1, sid_write_log.registers[126]);
}

}  // namespace
}  // namespace cpu_test

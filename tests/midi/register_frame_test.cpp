// Register frames and text messages, byte for byte.
#include <gtest/gtest.h>

#include <bitset>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "cpu/sid_write_log.h"
#include "midi/frame_decoder.h"
#include "midi/register_frame.h"
#include "midi/stream_transport.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Log = std::initializer_list<std::pair<int, int>>;

class RegisterFrame : public ::testing::Test {
protected:
    // The window's settings at their start values; each case changes its own.
    static inline FrameSettings settings;
    static inline int32_t volume;  // as the last encoding gave it back

    void SetUp() override {
        settings = {100, {1, 1, 1, 1}};
        reset_stream_ring();
        reset_sid_shadow();
    }

    static bool encode_log() {
        EncodedFrame frame = encode_register_frame(settings);
        volume = frame.volume;
        return frame.appended;
    }

    static void set_log(Log entries) {
        int i = 0;
        for (auto [reg, value] : entries) {
            sid_write_log.registers[i] = reg;
            sid_write_log.values[i] = static_cast<uint8_t>(value);
            ++i;
        }
        sid_write_log.registers[i] = -1;
    }

    // What the encoder appended to the current slot since the last call.
    static Bytes appended() {
        const uint8_t* message = stream_ring[ring_index].message;
        Bytes out(message, message + write_position);
        reset_stream_ring();
        return out;
    }

    static Bytes encode(Log entries) {
        set_log(entries);
        EXPECT_TRUE(encode_log());
        return appended();
    }

    static Bytes text_message(const char* text, size_t length) {
        char field[32] = {};
        std::memcpy(field, text, length);
        append_text_message(field);
        return appended();
    }
};

const Log reset_log = {{24, 15}, {0, 0}, {1, 0}, {7, 0}, {8, 0}, {14, 0}, {15, 0}, {21, 255}, {22, 255}, {23, 0}};

TEST_F(RegisterFrame, EmptyLogAppendsNothingEvenWithAVoiceOff) {
    settings.voice_enabled[0] = 0;
    set_log({});
    EXPECT_FALSE(encode_log());
    EXPECT_EQ(write_position, 0);
}

TEST_F(RegisterFrame, RegistersAbove27AreIgnored) {
    for (int reg : {28, 29, 30, 31}) {
        EXPECT_EQ(encode({{reg, 0x55}}), (Bytes{0xF0, 0x2D, 0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0xF7})) << reg;
    }
}

TEST_F(RegisterFrame, VolumeAloneAndWithVoiceOneOff) {
    EXPECT_EQ(encode({{24, 0x0F}}), (Bytes{0xF0, 0x2D, 0x4E, 0, 0, 0, 0x01, 0, 0, 0, 0, 0x0F, 0xF7}));
    EXPECT_EQ(volume, 15);
    encode({{1, 0x10}});
    EXPECT_EQ(volume, -1);  // a frame without register 24 leaves the kept volume alone

    settings.voice_enabled[0] = 0;
    EXPECT_EQ(encode({{24, 0x0F}}),
              (Bytes{0xF0, 0x2D, 0x4E, 0x03, 0, 0, 0x01, 0, 0, 0, 0, 0x00, 0x00, 0x0F, 0xF7}));
}

TEST_F(RegisterFrame, LastWriteOfARegisterWinsAndCarriesItsOwnHighBit) {
    EXPECT_EQ(encode({{1, 0x90}, {1, 0x10}}), (Bytes{0xF0, 0x2D, 0x4E, 0x02, 0, 0, 0, 0, 0, 0, 0, 0x10, 0xF7}));
    EXPECT_EQ(encode({{1, 0xA5}}), (Bytes{0xF0, 0x2D, 0x4E, 0x02, 0, 0, 0, 0x02, 0, 0, 0, 0x25, 0xF7}));
}

TEST_F(RegisterFrame, ControlRegisterSendsItsFirstAndItsLastWrite) {
    EXPECT_EQ(encode({{4, 0x41}, {4, 0x40}, {4, 0x81}}),
              (Bytes{0xF0, 0x2D, 0x4E, 0, 0, 0, 0x12, 0, 0, 0, 0x10, 0x41, 0x01, 0xF7}));
    // Voices 2 and 3 use positions 23/26 and 24/27; a single write only the first.
    EXPECT_EQ(encode({{11, 0x11}, {18, 0x21}, {18, 0x20}}),
              (Bytes{0xF0, 0x2D, 0x4E, 0, 0, 0, 0x04 | 0x08 | 0x40, 0, 0, 0, 0, 0x11, 0x21, 0x20, 0xF7}));
}

TEST_F(RegisterFrame, ReadOnlyRegistersAreNeverSent) {
    // Receivers take positions 25..27 as a voice's later control write, so a
    // store into 25..27 (read-only on the chip) must not reach them; only a
    // real second control write does.
    const struct {
        Log log;
        Bytes frame;
    } cases[] = {
        {{{25, 0x33}, {26, 0x00}, {27, 0xFF}}, {0xF0, 0x2D, 0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0xF7}},
        {{{4, 0x41}, {4, 0x40}, {25, 0x33}}, {0xF0, 0x2D, 0x4E, 0, 0, 0, 0x12, 0, 0, 0, 0, 0x41, 0x40, 0xF7}},
        {{{11, 0x21}, {26, 0x80}}, {0xF0, 0x2D, 0x4E, 0, 0, 0, 0x04, 0, 0, 0, 0, 0x21, 0xF7}},
    };
    for (const auto& c : cases) EXPECT_EQ(encode(c.log), c.frame);
}

TEST_F(RegisterFrame, FilterCutoffScaling) {
    settings.filter_percent = 200;
    sid_shadow[21] = 7;
    EXPECT_EQ(encode({{22, 0xFF}}), (Bytes{0xF0, 0x2D, 0x4E, 0, 0, 0x20, 0, 0, 0, 0x20, 0, 0x7F, 0xF7}));

    settings.filter_percent = 50;
    sid_shadow[21] = 0;
    EXPECT_EQ(encode({{22, 0x80}}), (Bytes{0xF0, 0x2D, 0x4E, 0, 0, 0x20, 0, 0, 0, 0, 0, 0x40, 0xF7}));

    settings.filter_percent = 100;
    sid_shadow[22] = 0x10;
    EXPECT_EQ(encode({{21, 0x05}}), (Bytes{0xF0, 0x2D, 0x4E, 0, 0, 0x10, 0, 0, 0, 0, 0, 0x05, 0xF7}));
    // The shadow keeps the raw values, not the scaled ones.
    EXPECT_EQ(sid_shadow[21], 0x05);
}

TEST_F(RegisterFrame, ResetFrameAtFirstStart) {
    EXPECT_EQ(encode(reset_log), (Bytes{0xF0, 0x2D, 0x4E, 0x43, 0x61, 0x70, 0x01, 0x00, 0x00, 0x20, 0x00, 0x00,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x7F, 0x00, 0x0F, 0xF7}));
}

TEST_F(RegisterFrame, ResetFrameAtHalfFilter) {
    settings.filter_percent = 50;
    EXPECT_EQ(encode(reset_log), (Bytes{0xF0, 0x2D, 0x4E, 0x43, 0x61, 0x70, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x7F, 0x00, 0x0F, 0xF7}));
}

TEST_F(RegisterFrame, DisabledVoiceStillUpdatesShadowAndVolume) {
    settings.voice_enabled[2] = 0;
    settings.voice_enabled[3] = 0;  // the filter group has no switch, but gating still holds
    Bytes frame = encode({{14, 0x44}, {24, 0x1F}});
    EXPECT_EQ(sid_shadow[14], 0x44);
    EXPECT_EQ(volume, 0x1F);
    // Voice 3's frequency goes out as 0; register 24 is gated with its group.
    EXPECT_EQ(frame, (Bytes{0xF0, 0x2D, 0x4E, 0, 0x60, 0, 0, 0, 0, 0, 0, 0x00, 0x00, 0xF7}));
}

TEST_F(RegisterFrame, EveryPositionPresentGivesTheLargestFrame) {
    Log all = {{0, 0x80}, {1, 1},  {2, 2},  {3, 3},  {4, 4},  {5, 5},  {6, 6},  {7, 7},  {8, 8},  {9, 9},
               {10, 10},  {11, 11}, {12, 12}, {13, 13}, {14, 14}, {15, 15}, {16, 16}, {17, 17}, {18, 18}, {19, 19},
               {20, 20},  {21, 21}, {22, 22}, {23, 23}, {24, 24}, {4, 25}, {11, 26}, {18, 0xFF}};
    Bytes frame = encode(all);
    ASSERT_EQ(frame.size(), 40u);
    EXPECT_EQ(Bytes(frame.begin() + 3, frame.begin() + 11), (Bytes{0x7F, 0x7F, 0x7F, 0x7F, 0x01, 0, 0, 0x40}));
}

TEST_F(RegisterFrame, FramesAreWellFormedSysexForAnyLog) {
    // A deterministic sweep of random logs: 7-bit data, length 12 + the
    // number of mask bits, and the high bits rebuilding each value.
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 16; };
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::pair<int, int>> entries;
        int count = 1 + next() % 60;
        for (int i = 0; i < count; ++i) entries.emplace_back(next() % 32, next() % 256);
        int i = 0;
        for (auto [reg, value] : entries) {
            sid_write_log.registers[i] = reg;
            sid_write_log.values[i++] = static_cast<uint8_t>(value);
        }
        sid_write_log.registers[i] = -1;
        settings.filter_percent = 20 + next() % 181;
        for (int v = 0; v < 3; ++v) settings.voice_enabled[v] = next() % 2;
        ASSERT_TRUE(encode_log());
        Bytes frame = appended();
        ASSERT_GE(frame.size(), 12u);
        ASSERT_LE(frame.size(), 40u);
        EXPECT_EQ(frame.front(), 0xF0);
        EXPECT_EQ(frame.back(), 0xF7);
        size_t mask_bits = 0;
        for (int k = 0; k < 4; ++k) mask_bits += std::bitset<8>(frame[3 + k]).count();
        EXPECT_EQ(frame.size(), 12 + mask_bits);
        for (size_t b = 1; b + 1 < frame.size(); ++b) EXPECT_LT(frame[b], 0x80) << "byte " << b;
    }
}

TEST_F(RegisterFrame, ChangesOnlyLeavesTheSynthesizerWhereTheWholeStreamDoes) {
    // Real-tune shapes in a row: a start (the reset frame), a note, the same
    // call again, a hard restart (gate closed and opened in one call), a
    // doubled control write, the gate closed by a write equal to the state,
    // a silent call, then a song change. Each step's expected frame is worked
    // out by hand from the frame layout; the state after it is what the
    // frames without the option leave, decoded.
    const struct {
        Log log;
        bool song_change;
        size_t changes_only_bytes;  // 0: no frame
    } steps[] = {
        {reset_log, false, 12 + 25},             // the whole state: every writable register
        {{{0, 0x67}, {1, 0x11}, {4, 0x41}}, false, 12 + 3},
        {{{0, 0x67}, {1, 0x11}, {4, 0x41}}, false, 0},  // nothing changed
        {{{4, 0x40}, {4, 0x41}}, false, 12 + 2},          // both writes: the gate closes and opens
        {{{4, 0x41}, {4, 0x41}}, false, 0},               // equal writes, equal to the state
        {{{4, 0x41}, {4, 0x40}}, false, 12 + 2},          // they differ from each other: both kept
        {{}, false, 0},                                   // a silent call
        {{{24, 0x0F}}, true, 12 + 25},                    // after a song change, the whole state again
    };
    SidRegisters full{};
    SidRegisters sent{};
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        set_log(steps[i].log);
        settings.changes_only = 0;
        encode_log();
        Bytes whole = appended();
        if (!whole.empty()) {
            ASSERT_TRUE(apply_register_frame(whole.data(), whole.size(), full));
        }
        // The same step once more with the option, from the state before it.
        std::memcpy(synthesizer_registers[0].value, sent.value, sizeof sent.value);
        if (i == 0 || steps[i].song_change) send_whole_state_next();
        settings.changes_only = 1;
        set_log(steps[i].log);
        encode_log();
        Bytes changes = appended();
        EXPECT_EQ(changes.size(), steps[i].changes_only_bytes);
        if (!changes.empty()) {
            ASSERT_TRUE(apply_register_frame(changes.data(), changes.size(), sent));
        }
        EXPECT_EQ(Bytes(sent.value, sent.value + 25), Bytes(full.value, full.value + 25));
    }
}

TEST_F(RegisterFrame, TextMessages) {
    EXPECT_EQ(text_message("abc", 3), (Bytes{0xF0, 0x2D, 0x4F, 'a', 'b', 'c', 0xF7}));
    EXPECT_EQ(text_message("\xE9", 1), (Bytes{0xF0, 0x2D, 0x4F, 0x69, 0xF7}));
    EXPECT_EQ(text_message("", 0), (Bytes{0xF0, 0x2D, 0x4F, 0xF7}));
    Bytes full = text_message("0123456789abcdefghijklmnopqrstuv", 32);
    ASSERT_EQ(full.size(), 36u);
    EXPECT_EQ(full[3], '0');
    EXPECT_EQ(full[34], 'v');
}

}  // namespace

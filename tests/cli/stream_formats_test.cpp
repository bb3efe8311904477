// The stream's bytes in other shapes: the Standard MIDI File that render
// writes, the messages of one buffer, and a register frame taken back apart
// as the synthesizer takes it.
#include <gtest/gtest.h>

#include <vector>

#include "cli/smf_writer.h"
#include "cpu/sid_write_log.h"
#include "midi/frame_decoder.h"
#include "midi/register_frame.h"
#include "midi/stream_transport.h"
#include "platform/sysex_split.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes variable_length(uint32_t value) {
    Bytes out;
    append_variable_length(out, value);
    return out;
}

TEST(VariableLength, TheMidiFileFormatsOwnExamples) {
    struct Case {
        uint32_t value;
        Bytes bytes;
    };
    const Case cases[] = {
        {0x00000000, {0x00}},
        {0x00000040, {0x40}},
        {0x0000007F, {0x7F}},
        {0x00000080, {0x81, 0x00}},
        {0x00002000, {0xC0, 0x00}},
        {0x00003FFF, {0xFF, 0x7F}},
        {0x00004000, {0x81, 0x80, 0x00}},
        {0x00100000, {0xC0, 0x80, 0x00}},
        {0x001FFFFF, {0xFF, 0xFF, 0x7F}},
        {0x00200000, {0x81, 0x80, 0x80, 0x00}},
        {0x08000000, {0xC0, 0x80, 0x80, 0x00}},
        {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
    };
    for (const Case& c : cases) EXPECT_EQ(variable_length(c.value), c.bytes) << std::hex << c.value;
}

const Bytes file_head = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6,  // header chunk, 6 bytes
    0x00, 0x00,                      // format 0
    0x00, 0x01,                      // one track
    0x01, 0xF4,                      // 500 ticks per quarter note
};
const Bytes tempo_event = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20};  // at 0: 500,000 us per quarter

Bytes track(const Bytes& events) {
    uint32_t length = static_cast<uint32_t>(events.size());
    Bytes out = {'M', 'T', 'r', 'k', static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
                 static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
    for (uint8_t byte : events) out.push_back(byte);
    return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
    for (uint8_t byte : b) a.push_back(byte);  // g++ 12 warns, wrongly, about insert() here
    return a;
}

TEST(SmfWriter, NothingButTheTempoAndTheEnd) {
    EXPECT_EQ(SmfWriter().finish(), file_head + track(tempo_event + Bytes{0x00, 0xFF, 0x2F, 0x00}));
}

TEST(SmfWriter, MessagesOfOneBufferShareItsTimeAndEmptyBuffersMoveTheNextOn) {
    SmfWriter smf;
    const Bytes start = {0xF0, 0x2D, 0x4E, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x0F, 0xF7,
                         0xF0, 0x2D, 0x4F, 0x41, 0xF7};  // a volume frame and the text "A"
    const Bytes frame = {0xF0, 0x2D, 0x4E, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0xF7};
    smf.add_buffer(20, start.data(), start.size());
    smf.add_buffer(20, nullptr, 0);
    smf.add_buffer(20, nullptr, 0);
    smf.add_buffer(150, frame.data(), frame.size());  // 190 ticks after the text: two bytes of delta
    smf.add_buffer(16, nullptr, 0);                   // trailing time goes to the end of the track
    EXPECT_EQ(smf.finish(), file_head + track(tempo_event + Bytes{
        0x14, 0xF0, 0x0C, 0x2D, 0x4E, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x0F, 0xF7,  // 20: frame, 12 bytes after F0
        0x00, 0xF0, 0x04, 0x2D, 0x4F, 0x41, 0xF7,                                               // +0: the text
        0x81, 0x3E, 0xF0, 0x0C, 0x2D, 0x4E, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0xF7,  // +190
        0x10, 0xFF, 0x2F, 0x00,                                                                 // +16: end of track
    }));
}

TEST(SmfWriter, ADelayTooLongForOneDeltaIsSpentOnEmptyTextEvents) {
    SmfWriter smf;
    const Bytes frame = {0xF0, 0x2D, 0x4E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7};
    for (int i = 0; i < 3; ++i) smf.add_buffer(0x08000000, nullptr, 0);  // 3 x 2^27 ticks
    smf.add_buffer(0, frame.data(), frame.size());
    Bytes file = smf.finish();
    Bytes events(file.begin() + 22 + tempo_event.size(), file.end());
    EXPECT_EQ(events, (Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x01, 0x00,  // 2^28 - 1 ticks, an empty text
                             0xC0, 0x80, 0x80, 0x01,                    // the other 2^27 + 1 ticks
                             0xF0, 0x0B, 0x2D, 0x4E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7,
                             0x00, 0xFF, 0x2F, 0x00}));
}

std::vector<Bytes> messages_of(const Bytes& buffer) {
    std::vector<Bytes> out;
    stream_engine::for_each_sysex(buffer.data(), buffer.size(),
                                  [&out](const uint8_t* m, size_t n) { out.emplace_back(m, m + n); });
    return out;
}

TEST(SysexMessages, WholeMessagesOnlyInOrder) {
    EXPECT_EQ(messages_of({}), std::vector<Bytes>{});
    EXPECT_EQ(messages_of({0xF0, 0x2D, 0x4E, 0xF7, 0xF0, 0x2D, 0x4F, 0x41, 0xF7}),
              (std::vector<Bytes>{{0xF0, 0x2D, 0x4E, 0xF7}, {0xF0, 0x2D, 0x4F, 0x41, 0xF7}}));
    // Cut short by the next F0: the first is dropped, the second goes out.
    EXPECT_EQ(messages_of({0xF0, 0x2D, 0x4E, 0x01, 0xF0, 0x2D, 0x4F, 0xF7}),
              (std::vector<Bytes>{{0xF0, 0x2D, 0x4F, 0xF7}}));
    // Stray bytes between messages, an F7 without a start, a message never ended.
    EXPECT_EQ(messages_of({0x12, 0xF7, 0xF0, 0x2D, 0x4C, 0xF7, 0x90, 0x40, 0xF0, 0x2D}),
              (std::vector<Bytes>{{0xF0, 0x2D, 0x4C, 0xF7}}));
}

SidRegisters decoded(const Bytes& frame, bool* applied = nullptr) {
    SidRegisters sid{};
    bool ok = apply_register_frame(frame.data(), frame.size(), sid);
    if (applied) *applied = ok;
    return sid;
}

TEST(FrameDecoder, TheResetFrameSetsVolumeFrequenciesAndCutoff) {
    // The first start's reset frame at 100 %: register 21 went out as 7
    // (scaled while register 22 was still 0), 22 as 0xFF.
    SidRegisters sid = decoded({0xF0, 0x2D, 0x4E, 0x43, 0x61, 0x70, 0x01, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00,
                                0x00, 0x00, 0x00, 0x07, 0x7F, 0x00, 0x0F, 0xF7});
    SidRegisters expected{};
    expected.value[21] = 0x07;
    expected.value[22] = 0xFF;
    expected.value[24] = 0x0F;
    for (int r = 0; r < 25; ++r) EXPECT_EQ(sid.value[r], expected.value[r]) << "register " << r;
}

TEST(FrameDecoder, HighBitsAndTheLastOfTwoControlWrites) {
    SidRegisters sid{};
    sid.value[5] = 0x99;  // absent from the frames: kept
    // Register 1 = 0xA5: data 0x25 with bit 0x02 of high-bit byte 0.
    const Bytes frequency = {0xF0, 0x2D, 0x4E, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x25, 0xF7};
    // Register 4 written 0x41, 0x40, 0x81: 0x41 at position 22, 0x81 at 25.
    const Bytes gate = {0xF0, 0x2D, 0x4E, 0x00, 0x00, 0x00, 0x12, 0x00, 0x00, 0x00, 0x10, 0x41, 0x01, 0xF7};
    ASSERT_TRUE(apply_register_frame(frequency.data(), frequency.size(), sid));
    ASSERT_TRUE(apply_register_frame(gate.data(), gate.size(), sid));
    EXPECT_EQ(sid.value[1], 0xA5);
    EXPECT_EQ(sid.value[4], 0x81);
    EXPECT_EQ(sid.value[5], 0x99);
}

TEST(FrameDecoder, TakesBackWhatThePlayersEncoderSends) {
    // Every register 0..24 with bit 7 set, the control registers twice: the
    // frame carries each control's first and last write, and the chip keeps
    // the last. Every voice on, the filter scale at 100 %: values unchanged.
    reset_stream_ring();
    int n = 0;
    for (int r = 0; r <= 24; ++r) {
        sid_write_log.registers[n] = r;
        sid_write_log.values[n++] = static_cast<uint8_t>(0x80 | (r * 5));
    }
    for (int control : {4, 11, 18}) {
        sid_write_log.registers[n] = control;
        sid_write_log.values[n++] = static_cast<uint8_t>(0x41 + control);
    }
    sid_write_log.registers[n] = -1;
    ASSERT_TRUE(encode_register_frame({100, {1, 1, 1, 1}}).appended);
    const StreamBuffer& slot = stream_ring[ring_index];
    Bytes frame(slot.message, slot.message + write_position);
    reset_stream_ring();

    SidRegisters sid = decoded(frame);
    for (int r = 0; r <= 24; ++r) {
        uint8_t expected = static_cast<uint8_t>(0x80 | (r * 5));
        if (r == 4 || r == 11 || r == 18) expected = static_cast<uint8_t>(0x41 + r);
        if (r == 21) expected &= 7;  // the cutoff's low register carries its three bits
        EXPECT_EQ(sid.value[r], expected) << "register " << r;
    }
}

TEST(FrameDecoder, AnythingButAWholeRegisterFrameChangesNothing) {
    const Bytes refused[] = {
        {0xF0, 0x2D, 0x4F, 0x41, 0xF7},                                            // a text message
        {0xF0, 0x2D, 0x4E, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7},  // mask says 1 byte, none there
        {0xF0, 0x2D, 0x4E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0xF7},  // one byte too many
        {0xF0, 0x2D, 0x4E, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05},        // no F7
        {0xF0, 0x2D, 0x4E, 0xF7},
        {0xF0, 0x7E, 0x4E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7},  // another manufacturer
    };
    for (const Bytes& message : refused) {
        bool applied = true;
        SidRegisters sid = decoded(message, &applied);
        EXPECT_FALSE(applied);
        for (uint8_t value : sid.value) EXPECT_EQ(value, 0);
    }
    bool applied = false;
    decoded({0xF0, 0x2D, 0x4E, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7}, &applied);
    EXPECT_TRUE(applied) << "the empty frame (registers 28 to 31 only) is a frame";
}

}  // namespace

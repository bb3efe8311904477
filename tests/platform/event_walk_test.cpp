// Reading MIDIEVENT records in place: what each kind of event plays, where the
// next record starts, and which buffers are refused before they can be played.
#include <gtest/gtest.h>

#include "platform/event_walk.h"
#include "stream_test_support.h"

namespace {

using namespace stream_engine;
using stream_test::EventBuffer;

const uint8_t* data_of(EventBuffer& buffer) { return reinterpret_cast<const uint8_t*>(buffer.header()->lpData); }

std::vector<uint8_t> played(const StreamEvent& event) { return {event.bytes, event.bytes + event.length}; }

TEST(EventWalk, EachKindOfEventPlaysItsOwnBytesAndStepsToTheNextRecord) {
    EventBuffer buffer;
    buffer.long_event(20, {0xF0, 0x2D, 0x4E, 0x01, 0x02, 0xF7})  // offset 0: 12 + 8 padded
        .short_event(5, 0x90, 0x3C, 0x7F)                          // offset 20
        .short_event(0, 0xC3, 0x07)                                // offset 32: program change, 2 bytes
        .tempo_event(7, 250000, true)                              // offset 44
        .nop_event(1)                                              // offset 56
        .long_event(3, {});                                        // offset 68: empty long event
    const uint8_t* data = data_of(buffer);
    DWORD size = static_cast<DWORD>(buffer.bytes());
    ASSERT_EQ(size, 80u);

    StreamEvent event;
    ASSERT_TRUE(read_event(data, size, 0, event));
    EXPECT_EQ(event.kind, EventKind::long_message);
    EXPECT_EQ(event.delta_ticks, 20u);
    EXPECT_TRUE(event.wants_callback);
    EXPECT_EQ(played(event), (std::vector<uint8_t>{0xF0, 0x2D, 0x4E, 0x01, 0x02, 0xF7}));
    EXPECT_EQ(event.next_offset, 20u);

    ASSERT_TRUE(read_event(data, size, 20, event));
    EXPECT_EQ(event.kind, EventKind::short_message);
    EXPECT_FALSE(event.wants_callback);
    EXPECT_EQ(played(event), (std::vector<uint8_t>{0x90, 0x3C, 0x7F}));
    EXPECT_EQ(event.next_offset, 32u);

    ASSERT_TRUE(read_event(data, size, 32, event));
    EXPECT_EQ(played(event), (std::vector<uint8_t>{0xC3, 0x07}));

    ASSERT_TRUE(read_event(data, size, 44, event));
    EXPECT_EQ(event.kind, EventKind::tempo);
    EXPECT_EQ(event.tempo_us, 250000u);
    EXPECT_EQ(event.length, 0u);
    EXPECT_TRUE(event.wants_callback);
    EXPECT_EQ(event.offset, 44u);

    ASSERT_TRUE(read_event(data, size, 56, event));
    EXPECT_EQ(event.kind, EventKind::silent);
    EXPECT_EQ(event.length, 0u);

    ASSERT_TRUE(read_event(data, size, 68, event));
    EXPECT_EQ(event.kind, EventKind::long_message);
    EXPECT_EQ(event.length, 0u);
    EXPECT_EQ(event.next_offset, 80u);
    EXPECT_FALSE(read_event(data, size, 80, event));
    EXPECT_TRUE(events_fit(data, size));
}

TEST(EventWalk, ShortMessageLengthsFollowTheStatusByte) {
    struct Case {
        uint8_t status;
        uint32_t length;
    } cases[] = {
        {0x80, 3}, {0x9F, 3}, {0xB0, 3}, {0xC0, 2}, {0xDF, 2}, {0xE0, 3}, {0xF1, 2}, {0xF2, 3},
        {0xF3, 2}, {0xF6, 1}, {0xF8, 1}, {0xFF, 1}, {0x40, 2}, {0xF0, 0}, {0xF7, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(short_message_length(c.status), c.length) << std::hex << int{c.status};
}

TEST(EventWalk, CommentsAndVersionsAreSkippedWithTheirBytes) {
    EventBuffer buffer;
    buffer.word(0).word(0).word(MEVT_F_LONG | DWORD{MEVT_COMMENT} << 24 | 5).word(0x11111111).word(0x22);
    buffer.long_event(4, {0xF0, 0xF7});
    const uint8_t* data = data_of(buffer);
    StreamEvent event;
    ASSERT_TRUE(read_event(data, static_cast<DWORD>(buffer.bytes()), 0, event));
    EXPECT_EQ(event.kind, EventKind::silent);
    EXPECT_EQ(event.length, 0u);
    EXPECT_EQ(event.next_offset, 20u);
    ASSERT_TRUE(read_event(data, static_cast<DWORD>(buffer.bytes()), 20, event));
    EXPECT_EQ(event.delta_ticks, 4u);
}

// A buffer that would make playback read past its end is refused whole.
TEST(EventWalk, BuffersThatDoNotTileExactlyAreRefused) {
    struct Case {
        const char* what;
        std::vector<uint32_t> words;
        DWORD recorded;  // 0: all the words
        bool fits;
    } cases[] = {
        {"one short event", {0, 0, 0x7F3C90}, 0, true},
        {"no events at all", {}, 0, true},
        {"head cut short", {0, 0, 0x7F3C90, 5, 0}, 0, false},
        {"long event longer than the buffer", {0, 0, MEVT_F_LONG | 9, 0xF74E2DF0, 0}, 0, false},
        {"long length of 16 M", {0, 0, MEVT_F_LONG | 0xFFFFFF}, 0, false},
        {"stray bytes after the last event", {0, 0, 0x7F3C90, 0}, 14, false},
        {"last event's padding past the end", {0, 0, MEVT_F_LONG | 5, 0xF74E2DF0, 0xF7}, 17, true},
    };
    for (const Case& c : cases) {
        DWORD recorded = c.recorded ? c.recorded : static_cast<DWORD>(c.words.size() * 4);
        EXPECT_EQ(events_fit(reinterpret_cast<const uint8_t*>(c.words.data()), recorded), c.fits) << c.what;
    }
}

}  // namespace

// How long ticks last, and that positions reached tick by tick never drift.
#include <gtest/gtest.h>

#include "platform/tick_clock.h"

namespace {

using namespace stream_engine;

TEST(TickClock, TimeDivisionsAreQuarterNotesOrSmpteFrames) {
    struct Case {
        DWORD division;
        bool valid;
    } cases[] = {
        {500, true},    {96, true},     {1, true},      {0x7FFF, true}, {0, false},      {0x10000, false},
        {0xE728, true},  // -25 fps, 40 ticks a frame
        {0xE301, true},  // -29: 29.97 drop-frame
        {0xE800, false}, // no ticks per frame
        {0xE501, false}, // -27 is no SMPTE rate
    };
    for (const Case& c : cases) EXPECT_EQ(valid_time_division(c.division), c.valid) << std::hex << c.division;
}

TEST(TickClock, EventsFallWhereDivisionAndTempoPutThem) {
    struct Case {
        DWORD division;
        DWORD tempo_us;
        DWORD delta;
        int64_t due_us;
    } cases[] = {
        {500, 500000, 20, 20000},       // the player's 1 ms tick
        {500, 500000, 16, 16000},
        {500, 250000, 20, 10000},       // twice the tempo
        {96, 500000, 96, 500000},       // the default division: a quarter note
        {96, 500000, 1, 5208},          // 5208 1/3 us, truncated
        {0xE728, 123, 20, 20000},       // 25 fps x 40 ticks = 1 ms, whatever the tempo
        {0xE301, 500000, 30, 1001000},  // 30 frames at 29.97 fps
        {500, max_tempo_us, 0xFFFFFFFF, int64_t{0xFFFFFFFF} * max_tempo_us / 500},  // no overflow
    };
    for (const Case& c : cases) {
        StreamPosition start;
        EXPECT_EQ(time_after(start, tick_length(c.division, c.tempo_us), c.delta), c.due_us)
            << c.division << " " << c.tempo_us << " " << c.delta;
    }
}

TEST(TickClock, TicksThatAreNotWholeMicrosecondsNeverDrift) {
    TickLength tick = tick_length(96, 500000);
    StreamPosition position;
    for (int quarter = 1; quarter <= 1000; ++quarter) {
        for (int i = 0; i < 96; ++i) advance_position(position, tick, 1);
        ASSERT_EQ(position.us, quarter * int64_t{500000});
        ASSERT_EQ(position.rest, 0u);
    }
    // Part-way, the event falls where the whole count from the start puts it.
    advance_position(position, tick, 1);
    EXPECT_EQ(time_after(position, tick, 1), 1000 * int64_t{500000} + 10416);
}

}  // namespace

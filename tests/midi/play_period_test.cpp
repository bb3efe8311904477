// The delta time of each buffer: whole milliseconds, the leftover of each
// period carried into the next, so the tempo holds over any stretch.
#include <gtest/gtest.h>

#include <cstdint>

#include "midi/play_period.h"

namespace {

// The tests below were written for rates in whole Hz; a rate of r Hz is a
// period of one cycle of an r Hz clock, 100000 / (r x speed) ms as before,
// so their expected values stand unchanged.
PlayPeriodLength whole_hz(int32_t rate, int32_t speed) { return {1, rate, speed}; }

TEST(PlayPeriod, EverySecondHoldsTheRatesBuffersAtAnySpeed) {
    // After k periods at d = rate x speed the stream has moved on by exactly
    // the whole milliseconds of k periods: k x 100000 / d, rounded down. So a
    // second holds d / 100 buffers, within one.
    for (int32_t rate : {50, 60, 101, 203, 1000}) {
        for (int32_t speed : {20, 37, 100, 150, 200}) {
            SCOPED_TRACE(testing::Message() << rate << " Hz at " << speed << " %");
            const int64_t d = int64_t{rate} * speed;
            PlayPeriod period;
            int64_t elapsed = 0;
            for (int64_t k = 1; k <= 3 * d / 100 + 3; ++k) {
                elapsed += period.next_ticks(whole_hz(rate, speed));
                ASSERT_EQ(elapsed, k * 100000 / d) << "after " << k << " periods";
            }
            if (d % 100 == 0) {
                PlayPeriod second;
                int64_t sum = 0;
                for (int64_t k = 0; k < d / 100; ++k) sum += second.next_ticks(whole_hz(rate, speed));
                EXPECT_EQ(sum, 1000) << "the first " << d / 100 << " periods";
            }
        }
    }
}

TEST(PlayPeriod, ARateChangeKeepsTheTimeAndNeverStretchesAPeriod) {
    // A tune moving between 203, 50, 60 and 1000 Hz while it plays, the speed
    // control moving too. The carry counts fractions of the old period; taken
    // into the new one unscaled, a leftover of up to 20299/5000 ms would make
    // a 50 Hz period 24 ms.
    struct Stretch { int32_t rate, speed, periods; };
    const Stretch song[] = {{203, 100, 7}, {50, 100, 5}, {60, 100, 10}, {203, 150, 11},
                            {60, 37, 4}, {1000, 200, 9}, {50, 20, 3}, {101, 100, 13}};
    PlayPeriod period;
    double exact_ms = 0;
    int64_t elapsed = 0;
    for (const Stretch& s : song) {
        const int32_t d = s.rate * s.speed;
        const uint32_t shortest = static_cast<uint32_t>(100000 / d);
        for (int i = 0; i < s.periods; ++i) {
            uint32_t ticks = period.next_ticks(whole_hz(s.rate, s.speed));
            EXPECT_TRUE(ticks == shortest || ticks == shortest + 1)
                << ticks << " ms at " << s.rate << " Hz and " << s.speed << " %, period " << i;
            elapsed += ticks;
            exact_ms += 100000.0 / d;
        }
        // Each change may drop less than one unit of the new carry, so the
        // stream is never ahead and at most a millisecond and a little behind.
        EXPECT_LE(elapsed, exact_ms + 1e-6);
        EXPECT_LT(exact_ms - static_cast<double>(elapsed), 1.0 + 0.01);
    }
}

TEST(PlayPeriod, RestartDropsTheLeftover) {
    PlayPeriod period;
    EXPECT_EQ(period.next_ticks(whole_hz(60, 100)), 16u);
    EXPECT_EQ(period.next_ticks(whole_hz(60, 100)), 17u);
    period.restart();
    EXPECT_EQ(period.next_ticks(whole_hz(60, 100)), 16u);
    EXPECT_EQ(period.next_ticks(whole_hz(60, 100)), 17u);
    EXPECT_EQ(period.next_ticks(whole_hz(60, 100)), 17u);
}

TEST(PlayPeriod, AMinuteOfStreamHoldsTheMachinesPeriods) {
    // Worked out by hand in cycles: a PAL frame is 19,656 cycles of 985,248
    // Hz, 19.9503 ms, so 60 s hold 3,007.47 of them: 3,007 end inside the
    // minute and 3,008 begin in it. An NTSC frame is 17,095 cycles of
    // 1,022,727 Hz, 16.7151 ms: 3,589.57. A timer latch of 19,704 underflows
    // every 19,705 cycles, 20.0000406 ms: 2,999.994, and the 3,000th ends at
    // 60,000.12 ms, in tick 60,000. At 200 % a PAL frame takes 9.9752 ms:
    // 6,014.94, the 6,015th ending at 60,000.6 ms, in tick 60,000.
    struct Case {
        const char* what;
        PlayPeriodLength length;
        int64_t ending_in_a_minute;
    };
    const Case cases[] = {
        {"PAL frame", {19'656, 985'248, 100}, 3'007},
        {"NTSC frame", {17'095, 1'022'727, 100}, 3'589},
        {"PAL timer, latch 19,704", {19'705, 985'248, 100}, 3'000},
        {"PAL frame at 200 %", {19'656, 985'248, 200}, 6'015},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // Exactly: the stream after k periods is at floor(k x period) ms, so
        // it never drifts from the machine, over a minute or an hour.
        const int64_t numerator = int64_t{c.length.cycles} * 100000;
        const int64_t denominator = int64_t{c.length.clock_hz} * c.length.speed_percent;
        PlayPeriod period;
        int64_t elapsed = 0;
        int64_t ended_in_minute = 0;
        for (int64_t k = 1; elapsed <= 3'600'000; ++k) {
            elapsed += period.next_ticks(c.length);
            if (elapsed <= 60'000) ended_in_minute = k;
            ASSERT_EQ(elapsed, k * numerator / denominator) << "after " << k << " periods";
        }
        EXPECT_EQ(ended_in_minute, c.ending_in_a_minute);
    }
}

TEST(PlayPeriod, ATimerMovedAtTheSameSpeedKeepsTheCarryExact) {
    // A tune alternating its timer between 19,704 and 16,421 on a PAL
    // machine: the carry is counted in the same unit for both, so the stream
    // stays at floor of the exact sum of the periods, 20.0000406 and 16.6679
    // ms, by hand.
    PlayPeriod period;
    int64_t cycles = 0;
    int64_t elapsed = 0;
    for (int k = 0; k < 6000; ++k) {
        int32_t latch = k % 2 ? 16'421 : 19'704;
        elapsed += period.next_ticks({latch + 1, 985'248, 100});
        cycles += latch + 1;
        ASSERT_EQ(elapsed, cycles * 1000 / 985'248) << "after " << k + 1 << " periods";
    }
}

}  // namespace

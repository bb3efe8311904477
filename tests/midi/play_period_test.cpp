// The delta time of each buffer: whole milliseconds, the leftover of each
// period carried into the next, so the tempo holds over any stretch.
#include <gtest/gtest.h>

#include <cstdint>

#include "midi/play_period.h"

namespace {

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
                elapsed += period.next_ticks(rate * speed);
                ASSERT_EQ(elapsed, k * 100000 / d) << "after " << k << " periods";
            }
            if (d % 100 == 0) {
                PlayPeriod second;
                int64_t sum = 0;
                for (int64_t k = 0; k < d / 100; ++k) sum += second.next_ticks(rate * speed);
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
            uint32_t ticks = period.next_ticks(d);
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
    EXPECT_EQ(period.next_ticks(6000), 16u);
    EXPECT_EQ(period.next_ticks(6000), 17u);
    period.restart();
    EXPECT_EQ(period.next_ticks(6000), 16u);
    EXPECT_EQ(period.next_ticks(6000), 17u);
    EXPECT_EQ(period.next_ticks(6000), 17u);
}

}  // namespace

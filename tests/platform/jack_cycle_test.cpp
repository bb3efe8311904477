// Where the JACK sink puts a message: which cycle, which frame, on a clock the
// test drives (64-frame cycles at 48 kHz: 1,333 1/3 us, 20 5/6 us a frame).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "platform/jack_cycle.h"

namespace {

using stream_engine::JackCycle;

constexpr uint32_t frames = 64;
constexpr uint32_t rate = 48'000;

TEST(JackCycle, AMessageLandsOnePeriodAfterItWasHandedOverAtItsFrame) {
    const JackCycle cycle{1'000'000, frames, rate};
    struct Case {
        int64_t before_us;  // handed over this long before the callback began
        bool taken;
        uint32_t offset;
    } cases[] = {
        {1, true, 63},     // 0.048 frames before: the last frame, still after its neighbour 1 us earlier
        {666, true, 32},   // 31.97 frames before, half a cycle: the middle frame
        {667, true, 31},   // 32.02 frames before
        {1333, true, 0},   // 63.98 frames before: the cycle's first frame
        {5000, true, 0},   // the callback ran late: as early as it still can
        {0, false, 0},     // handed over as the callback began: the next cycle's
        {-10, false, 0},   // during the callback
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before_us);
        EXPECT_EQ(cycle.takes(cycle.start_us - c.before_us), c.taken);
        if (c.taken) {
            EXPECT_EQ(cycle.offset_of(cycle.start_us - c.before_us), c.offset);
        }
    }
}

// Ten minutes of a 60 Hz stream (16, 17, 17 ms) handed over 7 us after each
// due time, callbacks on every 64th frame: each message arrives one period
// after it was handed over, to within a frame, the last as the first. Due
// times rounded to cycles would miss by up to 64 frames; a cycle length
// counted in whole microseconds (1,333) would drift 15 ms over the run.
TEST(JackCycle, DueTimesBetweenCyclesNeverDrift) {
    const int64_t deltas_ms[] = {16, 17, 17};
    int64_t cycle = 1;
    int64_t handed_over_us = 7;
    int64_t worst_frames_x6 = 0;  // in sixths of a frame, to stay in integers
    for (int message = 0; message < 36'000; ++message) {
        handed_over_us += deltas_ms[message % 3] * 1000;
        auto start_of = [](int64_t k) { return k * frames * 1'000'000 / rate; };  // the callback of cycle k
        while (!JackCycle{start_of(cycle), frames, rate}.takes(handed_over_us)) ++cycle;
        const JackCycle taking{start_of(cycle), frames, rate};
        int64_t arrival_frame = cycle * frames + taking.offset_of(handed_over_us);
        // Promised at handed_over + one period, in frames: (t * 48,000 / 10^6) + 64, times 6 to stay whole.
        int64_t promised_x6 = handed_over_us * 6 * rate / 1'000'000 + 6 * frames;
        worst_frames_x6 = std::max(worst_frames_x6, std::abs(arrival_frame * 6 - promised_x6));
    }
    EXPECT_LE(worst_frames_x6, 6) << "a message strayed more than one frame from its promise";
}

}  // namespace

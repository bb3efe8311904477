#pragma once
#include <cstdint>

// A song's tune time: each play call is one play period of the machine,
// whatever speed the stream plays at. Counted in machine cycles, so that a
// long song drifts by nothing: 3,000 calls of a PAL frame are 58,968,000
// cycles, 59.850 s.
class SongClock {
public:
    void restart() {
        base_us_ = 0;
        cycles_ = 0;
        clock_hz_ = 0;
    }

    // One play call, period_cycles of a clock_hz machine after the call before.
    void count_play_call(int32_t period_cycles, int32_t clock_hz) {
        if (period_cycles <= 0 || clock_hz <= 0) return;
        // A tune plays on one machine; should the clock still change, the
        // time so far is kept and counting goes on in the new cycles.
        if (clock_hz_ != 0 && clock_hz != clock_hz_) {
            base_us_ = elapsed_us();
            cycles_ = 0;
        }
        clock_hz_ = clock_hz;
        cycles_ += period_cycles;
    }

    int64_t elapsed_us() const { return clock_hz_ ? base_us_ + cycles_ * 1'000'000 / clock_hz_ : base_us_; }

private:
    int64_t base_us_ = 0;   // time counted on an earlier clock
    int64_t cycles_ = 0;    // cycles of clock_hz_ since then
    int32_t clock_hz_ = 0;  // of the previous call; 0 after a restart
};

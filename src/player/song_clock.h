#pragma once
#include <cstdint>

// A song's tune time: each play call is one period of the tune, 1 / rate
// seconds at 100 % speed, whatever speed the stream plays at. Counted in
// microseconds with the leftover fraction carried, so that 60 calls at 60 Hz
// are exactly one second and a long song drifts by nothing.
class SongClock {
public:
    void restart() {
        elapsed_us_ = 0;
        carry_ = 0;
        rate_hz_ = 0;
    }

    // One play call at rate_hz (the rate it was called at).
    void count_play_call(int32_t rate_hz) {
        if (rate_hz <= 0) return;
        // The carry counts 1/rate_hz_ us: a new rate first rescales it, as
        // the stream's play period does its own leftover.
        if (rate_hz_ > 0 && rate_hz != rate_hz_) carry_ = carry_ * rate_hz / rate_hz_;
        rate_hz_ = rate_hz;
        int64_t total = 1'000'000 + carry_;
        elapsed_us_ += total / rate_hz;
        carry_ = total % rate_hz;
    }

    int64_t elapsed_us() const { return elapsed_us_; }

private:
    int64_t elapsed_us_ = 0;
    int64_t carry_ = 0;   // in units of 1/rate_hz_ us, below rate_hz_
    int32_t rate_hz_ = 0;  // of the previous call; 0 after a restart
};

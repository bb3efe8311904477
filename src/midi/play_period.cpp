#include "midi/play_period.h"

namespace {
constexpr int64_t ticks_times_hz_percent = 100000;  // 1000 ms x 100 %
}

uint32_t PlayPeriod::next_ticks(int32_t d) {
    // The rate is at least 15 Hz and the speed 20 %; d below 1 would only
    // come from a caller's mistake, and must not divide by zero.
    if (d < 1) d = 1;
    if (divisor_ != 0 && d != divisor_) carry_ = carry_ * d / divisor_;
    divisor_ = d;
    int64_t total = ticks_times_hz_percent + carry_;
    carry_ = total % d;
    return static_cast<uint32_t>(total / d);
}

void PlayPeriod::restart() {
    carry_ = 0;
    divisor_ = 0;
}

#include "midi/play_period.h"

namespace {
constexpr int64_t ms_per_second_times_percent = 100000;  // 1000 ms x 100 %
}

uint32_t PlayPeriod::next_ticks(const PlayPeriodLength& length) {
    // Cycles, clock and speed are all at least 1 from any caller that means
    // them; a 0 would only come from a mistake, and must not divide by zero.
    int64_t cycles = length.cycles < 1 ? 1 : length.cycles;
    int64_t clock_hz = length.clock_hz < 1 ? 1 : length.clock_hz;
    int64_t speed = length.speed_percent < 1 ? 1 : length.speed_percent;
    int64_t unit = clock_hz * speed;
    if (units_per_ms_ != 0 && unit != units_per_ms_) carry_ = carry_ * unit / units_per_ms_;
    units_per_ms_ = unit;
    int64_t total = cycles * ms_per_second_times_percent + carry_;
    carry_ = total % unit;
    return static_cast<uint32_t>(total / unit);
}

void PlayPeriod::restart() {
    carry_ = 0;
    units_per_ms_ = 0;
}

#pragma once
#include <cstdint>

// The delta time of each queued buffer, in the stream's 1 ms ticks. A play
// period is 100000 / d ms with d = play_rate_hz x speed_percent, rarely a
// whole number (16.67 at 60 Hz, 4.93 at 203 Hz), so the leftover of each
// period is carried into the next: 60 Hz gives 16, 17, 17, 16, 17, 17, ... and
// any second of the stream holds d / 100 buffers, within one.
class PlayPeriod {
public:
    // The next buffer's delta time at divisor d. The carry counts 1/d ms, so
    // a changed d first rescales it into the new unit: a leftover counted in
    // the old unit would otherwise stretch the next period.
    uint32_t next_ticks(int32_t d);

    // No leftover: a start begins on a whole tick.
    void restart();

private:
    int64_t carry_ = 0;    // in units of 1/divisor_ ms, below divisor_
    int32_t divisor_ = 0;  // d of the previous period; 0 after a restart
};

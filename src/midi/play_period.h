#pragma once
#include <cstdint>

// One play period as the machine makes it, and the speed the stream plays it
// at: cycles x 100000 / (clock_hz x speed_percent) ms.
struct PlayPeriodLength {
    int32_t cycles;         // machine cycles from one play call to the next
    int32_t clock_hz;       // machine cycles per second
    int32_t speed_percent;  // 20..200; 200 plays each period in half the time
};

// The delta time of each queued buffer, in the stream's 1 ms ticks. A play
// period is rarely a whole number of them (19.950 ms for a PAL frame, 16.715
// for an NTSC one), so the leftover of each period is carried into the next,
// exactly: any stretch of the stream holds the machine's number of periods,
// within one.
class PlayPeriod {
public:
    // The next buffer's delta time. The carry counts 1/(clock_hz x
    // speed_percent) ms, so a period of another length at the same clock and
    // speed (a tune moving its timer) carries it unchanged; a new speed or
    // clock first rescales it into the new unit, or a leftover counted in the
    // old unit would stretch the next period.
    uint32_t next_ticks(const PlayPeriodLength& length);

    // No leftover: a start begins on a whole tick.
    void restart();

private:
    int64_t carry_ = 0;         // in units of 1/units_per_ms_ ms, below units_per_ms_
    int64_t units_per_ms_ = 0;  // clock_hz x speed_percent of the previous period; 0 after a restart
};

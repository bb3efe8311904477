#pragma once
// A stream's time line: how long a tick lasts under the time division and the
// tempo, and where the events fall. Positions keep the fraction of a
// microsecond that whole ticks leave over, so a tick that is not a whole number
// of microseconds (96 per quarter at 500,000 us is 5,208 1/3 us) never lets the
// events drift, however long the stream plays.
#include <cstdint>

#include "platform/winmm_stream.h"

namespace stream_engine {

constexpr DWORD default_time_division = 96;   // ticks per quarter note, until the caller sets its own
constexpr DWORD default_tempo_us = 500'000;   // per quarter note: 120 beats a minute
constexpr DWORD max_tempo_us = 0xFFFFFF;      // a tempo event's 24 bits; keeps tick arithmetic in 64 bits

// One tick is numerator / denominator microseconds.
struct TickLength {
    uint64_t numerator;
    uint64_t denominator;
};

// Standard MIDI File division: bit 15 clear, ticks per quarter note (1..32767);
// bit 15 set, minus frames per second (24, 25, 29 for 29.97 drop-frame, 30)
// in the high byte and ticks per frame (1..255) in the low byte.
bool valid_time_division(DWORD time_division);

// The tempo only counts for quarter-note divisions; SMPTE ticks are absolute.
TickLength tick_length(DWORD time_division, DWORD tempo_us);

struct StreamPosition {
    int64_t us = 0;      // whole microseconds on the stream's time line
    uint64_t rest = 0;   // and the part of one left over, in 1/denominator us
};

// When an event delta_ticks after position falls due.
int64_t time_after(const StreamPosition& position, const TickLength& tick, DWORD delta_ticks);

// Moves position on by delta_ticks.
void advance_position(StreamPosition& position, const TickLength& tick, DWORD delta_ticks);

}  // namespace stream_engine

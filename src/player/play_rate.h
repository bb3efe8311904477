#pragma once
#include <cstdint>

#include "machine/c64_clock.h"
#include "midi/play_period.h"

// The play rate's one home. The tune driver sets the period in machine
// cycles; the stream, the song time, the rate label and the tools ask here.

// Sets play_period_cycles, clock_hz and the rate shown (shown_period_cycles
// and the rounded play_rate_hz) together.
void set_play_period(const C64Clock& clock, int32_t cycles);

// For a tune whose period changes from frame to frame: the stream's period
// alone (clock_hz and play_period_cycles), and the rate shown alone, the
// cycles its frames are apart on average.
void set_stream_period(const C64Clock& clock, int32_t cycles);
void set_shown_period(int32_t cycles);

// The period the stream plays now: the tune's, at the speed setting.
PlayPeriodLength current_play_period();

// The rate shown, at 100 %: 50.1245 for a PAL frame.
double play_rate_exact_hz();

// The rate label's number: the rate at the speed setting, rounded to whole
// Hz (a PAL frame shows 50 Hz at 100 % and 75 Hz at 150 %).
int32_t rate_label_number_hz();

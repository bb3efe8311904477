#pragma once
#include <cstdint>

// 100000 / (play_rate_hz x speed_percent): one play period in 1 ms ticks, the
// delta time of every buffer the stream is given.
int32_t period_ticks();

#pragma once
// The speed and filter scales' range, in percent. Below 20 the stream's play
// period would grow without bound, and 0 would divide by zero.
#include <cstdint>

constexpr int32_t scale_min_percent = 20;
constexpr int32_t scale_max_percent = 200;

constexpr int32_t clamp_to_scale(int32_t percent) {
    return percent < scale_min_percent ? scale_min_percent : percent > scale_max_percent ? scale_max_percent : percent;
}

#pragma once
// How many bytes a second a song's stream needs: what a link must carry for
// the frames not to queue up behind one another and drag the tune.
#include <cstdint>
#include <string>
#include <vector>

#include "headless/headless_player.h"

constexpr int64_t budget_span_us = 60'000'000;  // a song's first minute
constexpr int64_t budget_window_us = 1'000'000;  // the peak's window

struct StreamRate {
    double mean;  // bytes per second over the whole span
    double peak;  // the most bytes that play within any one window, per second
};

struct StreamBudget {
    StreamRate sent;          // every frame whole
    StreamRate changes_only;  // the same song with changes only
};

// The rate of the buffers played from the first one's time up to span_us
// later; the span is what the mean divides by, whether or not the buffers
// fill it (a song that stops early needs nothing after).
StreamRate stream_rate(const std::vector<HeadlessPlayer::Buffer>& buffers, int64_t span_us = budget_span_us,
                       int64_t window_us = budget_window_us);

// Plays song (1-based; 0 the start song) of the tune at path from its start for budget_span_us
// at 100 % speed, all voices on, the filter unscaled and extra_sids as given,
// once as sent and once with changes only. False when the tune cannot be
// loaded. Resets the process's player state (it drives a HeadlessPlayer).
bool measure_stream_budget(const std::string& path, int song, int32_t extra_sids, StreamBudget& budget);

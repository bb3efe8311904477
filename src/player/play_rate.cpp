#include "player/play_rate.h"

#include "player/player_state.h"

namespace {
// Rounded to the nearest whole number: the rate shown is the nearest one.
int32_t rounded_rate_hz(int64_t clock_hz, int64_t speed_percent, int64_t cycles) {
    if (cycles < 1) cycles = 1;
    int64_t denominator = cycles * 100;
    return static_cast<int32_t>((clock_hz * speed_percent * 2 + denominator) / (2 * denominator));
}
}  // namespace

void set_play_period(const C64Clock& clock, int32_t cycles) {
    set_stream_period(clock, cycles);
    set_shown_period(cycles);
}

void set_stream_period(const C64Clock& clock, int32_t cycles) {
    player_state.clock_hz = clock.cpu_hz;
    player_state.play_period_cycles = cycles;
}

void set_shown_period(int32_t cycles) {
    if (cycles < 1) cycles = 1;
    player_state.shown_period_cycles = cycles;
    player_state.play_rate_hz = rounded_rate_hz(player_state.clock_hz, 100, cycles);
}

PlayPeriodLength current_play_period() {
    return {player_state.play_period_cycles, player_state.clock_hz, player_state.speed_percent};
}

double play_rate_exact_hz() {
    return static_cast<double>(player_state.clock_hz) / player_state.shown_period_cycles;
}

int32_t rate_label_number_hz() {
    return rounded_rate_hz(player_state.clock_hz, player_state.speed_percent, player_state.shown_period_cycles);
}

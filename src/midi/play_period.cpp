#include "midi/play_period.h"

#include "player/player_state.h"

int32_t period_ticks() {
    return 100000 / (player_state.play_rate_hz * player_state.speed_percent);
}

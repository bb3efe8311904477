#include "player/player_state.h"

#include <initializer_list>

#include "machine/c64_clock.h"

PlayerState player_state;
std::mutex request_mutex;

void reset_player_state() {
    PlayerState& p = player_state;
    for (auto* flag : {&p.playing, &p.stop_request, &p.start_request, &p.resume_request, &p.seek_request, &p.paused,
                       &p.silenced, &p.starting, &p.closing, &p.tune_loaded, &p.song_ended, &p.samples_notice}) {
        flag->store(0);
    }
    p.current_song = -1;
    p.play_period_cycles = frame_cycles(pal_clock);
    p.shown_period_cycles = frame_cycles(pal_clock);
    p.clock_hz = pal_clock.cpu_hz;
    p.play_rate_hz = 50;
    p.last_volume = 15;
    p.saved_volume = 0;
    p.midi_out_device = -1;
    p.speed_percent = 100;
    p.filter_percent = 100;
    for (auto& voice : p.voice_enabled) voice = 1;
    p.extra_sids = EXTRA_SIDS_OFF;
    p.changes_only = 0;
    p.play_stopped_at_ms = -1;
    p.stopped_in_init = 0;
    p.song_time_ms = 0;
    p.song_length_ms = -1;
    p.seek_target_ms = 0;
    p.tune_path[0] = '\0';
}

namespace {
// Runs before main, so every thread finds the start values.
struct StartValues {
    StartValues() { reset_player_state(); }
} start_values;
}  // namespace

#include "web/web_api.h"

#include <emscripten/emscripten.h>

#include <climits>
#include <cstring>
#include <string>

#include "collection/tune_md5.h"
#include "cpu/cpu_call.h"
#include "midi/register_frame.h"
#include "player/control_frames.h"
#include "player/load_message.h"
#include "player/machine_tune.h"
#include "player/play_rate.h"
#include "player/playback_stop.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/scale_bounds.h"
#include "player/sid_names.h"
#include "player/song_run.h"
#include "player/tune_driver.h"
#include "player/tune_info.h"
#include "version.h"
#include "web/web_stream.h"

#define ZARVEL_EXPORT extern "C" EMSCRIPTEN_KEEPALIVE

namespace {

constexpr int32_t psid_header_bytes = 124;  // the longest header, version 2
constexpr int32_t load_address_bytes = 2;   // when the payload names its own
// The loader skips white space before the magic; this much is allowed.
constexpr int32_t leading_space_allowance = 64;
constexpr int32_t tune_area_size = leading_space_allowance + psid_header_bytes + load_address_bytes + 65536;
uint8_t tune_area[tune_area_size];

// Texts handed to the page live until the next call that returns one.
char text[128];

const char* page_text(std::string_view view) {
    size_t length = view.size() < sizeof text - 1 ? view.size() : sizeof text - 1;
    std::memcpy(text, view.data(), length);
    text[length] = '\0';
    return text;
}

const char* header_text(const char (&field)[32]) { return page_text(tune_text(field)); }

// Milliseconds of the song played when the next play call runs: the delta
// times of the buffers played since its start, as the desktop controller
// counts them to tell when a play routine stopped.
int64_t song_ms;

// The current song's tune time, the length it ends at and what the
// synthesizer holds of it, run as the desktop controller runs them.
SongRun song_run;
int32_t song_length_ms;  // for the next start
int32_t song_ended;

// The full-file MD5 of the tune last loaded, as 32 hex digits.
char tune_md5_hex[33];

// One play period, as the stream callback's pacing step runs it: hand over
// the buffer filled since the last one, run one play step while playing, and
// once playing has dropped, the two mute frames in a buffer of their own.
void pace() {
    PlayerState& p = player_state;
    int32_t played_ms = last_queued_delta_ms();
    queue_web_buffer();
    bool running = p.playing && !p.paused;
    if (running && song_run.played_its_length()) {
        p.playing = 0;
        song_ended = 1;
    } else if (running) {
        song_ms += played_ms;
        if (song_run.step() == CPU_ABANDONED) {
            p.play_stopped_at_ms = static_cast<int32_t>(song_ms < INT32_MAX ? song_ms : INT32_MAX);
            p.playing = 0;
        }
    }
    if (!p.silenced && !p.playing) {
        write_mute_frames();
        queue_web_buffer();
        p.silenced = 1;
    }
}

void stop_playing(bool pause) {
    if (!player_state.playing) return;
    player_state.playing = 0;
    player_state.paused = pause ? 1 : 0;
    pace();
}

}  // namespace

ZARVEL_EXPORT const char* zarvel_version() { return ZARVEL_VERSION; }

ZARVEL_EXPORT uint8_t* zarvel_tune_area() { return tune_area; }
ZARVEL_EXPORT int32_t zarvel_tune_area_size() { return tune_area_size; }

ZARVEL_EXPORT int32_t zarvel_load(int32_t length) {
    clear_web_output();
    stop_playing(false);
    // The image is rewritten whatever the result: nothing is left to resume.
    player_state.paused = 0;
    if (length < 0) length = 0;
    if (length > tune_area_size) length = tune_area_size;
    LoadResult result = load_psid_bytes(tune_area, static_cast<size_t>(length));
    player_state.tune_loaded = result == LOAD_OK;
    song_length_ms = 0;
    song_run.set_length(0);
    song_ended = 0;
    tune_md5_hex[0] = '\0';
    if (result == LOAD_OK) {
        player_state.current_song = tune_info.start_song;
        std::string digest = md5_hex(md5_of_bytes(tune_area, static_cast<size_t>(length)));
        std::memcpy(tune_md5_hex, digest.c_str(), sizeof tune_md5_hex);
    }
    return result;
}

ZARVEL_EXPORT const char* zarvel_load_message(int32_t result) { return page_text(load_failure_message(result)); }

ZARVEL_EXPORT const char* zarvel_tune_md5() { return tune_md5_hex; }

ZARVEL_EXPORT const char* zarvel_tune_name() { return header_text(tune_info.name); }
ZARVEL_EXPORT const char* zarvel_tune_author() { return header_text(tune_info.author); }
ZARVEL_EXPORT const char* zarvel_tune_released() { return header_text(tune_info.released); }
ZARVEL_EXPORT int32_t zarvel_songs() { return tune_info.songs; }
ZARVEL_EXPORT int32_t zarvel_start_song() { return tune_info.start_song; }

ZARVEL_EXPORT void zarvel_set_song(int32_t song) { player_state.current_song = static_cast<uint16_t>(song); }
ZARVEL_EXPORT int32_t zarvel_current_song() { return player_state.current_song; }

ZARVEL_EXPORT void zarvel_set_speed(int32_t percent) { player_state.speed_percent = clamp_to_scale(percent); }
ZARVEL_EXPORT void zarvel_set_filter(int32_t percent) { player_state.filter_percent = clamp_to_scale(percent); }

ZARVEL_EXPORT void zarvel_set_voice(int32_t voice, int32_t on) {
    if (voice >= 0 && voice < 3) player_state.voice_enabled[voice] = on ? 1 : 0;
}

ZARVEL_EXPORT void zarvel_set_extra_sids(int32_t mode) {
    player_state.extra_sids = mode == EXTRA_SIDS_FRAMES ? EXTRA_SIDS_FRAMES : EXTRA_SIDS_OFF;
}

ZARVEL_EXPORT void zarvel_set_changes_only(int32_t on) { player_state.changes_only = on ? 1 : 0; }

ZARVEL_EXPORT const char* zarvel_extra_sids_text() {
    return player_state.tune_loaded && sids_sent() < tune_sid_count() ? extra_sids_not_played_text() : "";
}

ZARVEL_EXPORT int32_t zarvel_rate_label_hz() { return rate_label_number_hz(); }

ZARVEL_EXPORT int32_t zarvel_start() {
    clear_web_output();
    if (!player_state.tune_loaded) return 0;
    stop_playing(false);
    player_state.paused = 0;
    restart_web_period();
    song_ms = 0;
    song_run.restart(song_length_ms);
    song_ended = 0;
    player_state.play_stopped_at_ms = -1;
    write_reset_frame();
    init_tune();
    append_text_message(tune_info.name);
    queue_web_buffer();
    player_state.playing = 1;
    player_state.silenced = 0;
    return web_output_count();
}

ZARVEL_EXPORT int32_t zarvel_step() {
    clear_web_output();
    pace();
    return web_output_count();
}

ZARVEL_EXPORT int32_t zarvel_stop(int32_t pause) {
    clear_web_output();
    stop_playing(pause != 0);
    return web_output_count();
}

ZARVEL_EXPORT int32_t zarvel_resume() {
    clear_web_output();
    PlayerState& p = player_state;
    if (p.playing || !p.paused || !p.tune_loaded) return 0;
    p.paused = 0;
    p.playing = 1;
    p.silenced = 0;
    write_restore_frame();
    queue_web_buffer();
    return web_output_count();
}

ZARVEL_EXPORT void zarvel_set_song_length(int32_t ms) {
    song_length_ms = ms > 0 ? ms : 0;
    song_run.set_length(song_length_ms);
}

ZARVEL_EXPORT int32_t zarvel_song_time_ms() { return song_run.elapsed_ms(); }

ZARVEL_EXPORT int32_t zarvel_song_ended() { return song_ended; }

ZARVEL_EXPORT int32_t zarvel_seek(int32_t target_ms) {
    clear_web_output();
    PlayerState& p = player_state;
    if (!p.playing || p.paused) return 0;
    int64_t target_us = int64_t{target_ms < 0 ? 0 : target_ms} * 1000;
    if (song_run.target_past_length(target_us)) {
        p.playing = 0;
        song_ended = 1;
    } else if (song_run.run_silently_to(target_us) == CPU_ABANDONED) {
        // A call that never returned on the way stops as it does in play.
        p.play_stopped_at_ms = song_run.elapsed_ms();
        p.playing = 0;
    } else {
        song_ms = song_run.elapsed_ms();
        return web_output_count();
    }
    pace();
    return web_output_count();
}

ZARVEL_EXPORT int32_t zarvel_playing() { return player_state.playing; }

ZARVEL_EXPORT const char* zarvel_stop_text() {
    int32_t at_ms = player_state.play_stopped_at_ms;
    return at_ms < 0 ? "" : page_text(playback_stop_text(at_ms));
}

ZARVEL_EXPORT const char* zarvel_samples_notice() {
    return player_state.samples_notice.exchange(0) ? samples_notice : "";
}

ZARVEL_EXPORT int32_t zarvel_paused() { return player_state.paused; }

ZARVEL_EXPORT int32_t zarvel_buffer_count() { return web_output_count(); }

namespace {
bool in_output(int32_t index) { return index >= 0 && index < web_output_count(); }
}  // namespace

ZARVEL_EXPORT const uint8_t* zarvel_buffer_bytes(int32_t index) {
    return in_output(index) ? web_output(index).bytes : nullptr;
}
ZARVEL_EXPORT int32_t zarvel_buffer_length(int32_t index) { return in_output(index) ? web_output(index).length : 0; }
ZARVEL_EXPORT int32_t zarvel_buffer_delta_ms(int32_t index) {
    return in_output(index) ? web_output(index).delta_ms : 0;
}
ZARVEL_EXPORT const uint8_t* zarvel_buffer_registers(int32_t index) {
    return in_output(index) ? web_output(index).registers.value : nullptr;
}

ZARVEL_EXPORT const char* zarvel_note_name(int32_t frequency_register) {
    char name[8];
    note_name(static_cast<uint16_t>(frequency_register), name);
    return page_text(name);
}

ZARVEL_EXPORT const char* zarvel_waveform_name(int32_t control) {
    char name[32];
    waveform_name(static_cast<uint8_t>(control), name);
    return page_text(name);
}

ZARVEL_EXPORT const char* zarvel_filter_mode_name(int32_t mode_volume) {
    return filter_mode_name(static_cast<uint8_t>(mode_volume));
}

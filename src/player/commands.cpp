#include "player/commands.h"

#include <climits>

#include "platform/clock.h"
#include "player/playback_controller.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/scale_bounds.h"
#include "player/tune_info.h"

namespace {
using RequestLock = std::lock_guard<std::mutex>;

// Under request_mutex.
bool on_under_lock() {
    const PlayerState& p = player_state;
    // A Stop or Pause cancels every start and resume not yet taken, so one
    // still waiting was asked for after the last of them.
    if (p.start_request || p.resume_request) return true;
    if (p.stop_request) return false;
    // starting drops only after a start has set playing: read in this order,
    // a start that ends between the two reads is still seen.
    bool starting = p.starting;
    return starting || p.playing;
}

// A Stop or Pause outranks the requests raised before it; left waiting, a
// start would be taken with the stop and play after it.
void cancel_start_and_resume() {
    player_state.start_request = 0;
    player_state.resume_request = 0;
}

// Under request_mutex: the user has changed playback, so a song end not yet
// taken must not move it on to another song.
void drop_song_end() { player_state.song_ended = 0; }

// Under request_mutex: a seek asked for in the song that is being left.
void drop_seek() { player_state.seek_request = 0; }

// Under request_mutex.
bool ask_seek(int64_t ms) {
    PlayerState& p = player_state;
    if (!on_under_lock() || p.paused) return false;
    if (ms < 0) ms = 0;
    if (ms > INT32_MAX) ms = INT32_MAX;
    drop_song_end();
    p.seek_target_ms = static_cast<int32_t>(ms);
    p.seek_request = 1;
    return true;
}

}  // namespace

bool playback_on() {
    RequestLock lock(request_mutex);
    return on_under_lock();
}

const char* press_play() {
    PlayerState& p = player_state;
    RequestLock lock(request_mutex);
    drop_song_end();
    // A Play that the worker has not taken yet, with nothing started, only
    // asks for the start again below; once a start is under way, or the
    // tune plays, the press is a Pause.
    bool under_way = p.starting || p.playing;
    if (under_way && on_under_lock()) {
        cancel_start_and_resume();
        p.stop_request = 1;
        p.paused = 1;
        return "Play";
    }
    if (!p.tune_loaded) return nullptr;
    if (p.paused) {
        p.resume_request = 1;
    } else {
        p.start_request = 1;
    }
    p.paused = 0;
    return "Pause";
}

const char* press_stop() {
    RequestLock lock(request_mutex);
    drop_song_end();
    if (!on_under_lock()) return nullptr;  // after a pause too: paused stays, Play resumes
    cancel_start_and_resume();
    player_state.stop_request = 1;
    return "Play";
}

void toggle_voice(int index) {
    std::atomic<int32_t>& voice = player_state.voice_enabled[index];
    voice = voice == 0 ? 1 : 0;
}

bool choose_song(int32_t song) {
    song = static_cast<uint16_t>(song);  // no selection (-1) gives 0
    if (song == player_state.current_song) return false;
    player_state.current_song = song;
    RequestLock lock(request_mutex);
    drop_song_end();
    drop_seek();
    if (!on_under_lock()) return false;
    player_state.start_request = 1;
    return true;
}

bool take_song_end() {
    RequestLock lock(request_mutex);
    return player_state.song_ended.exchange(0) != 0;
}

const char* play_song(int32_t song) {
    PlayerState& p = player_state;
    RequestLock lock(request_mutex);
    drop_song_end();
    drop_seek();
    if (!p.tune_loaded) return nullptr;
    p.current_song = song;
    p.paused = 0;
    p.start_request = 1;
    return "Pause";
}

bool seek_to(int32_t ms) {
    RequestLock lock(request_mutex);
    return ask_seek(ms);
}

bool seek_by(int32_t delta_ms) {
    const PlayerState& p = player_state;
    RequestLock lock(request_mutex);
    int64_t from = p.seek_request ? p.seek_target_ms.load() : p.start_request ? 0 : p.song_time_ms.load();
    return ask_seek(from + delta_ms);
}

int32_t scroll_scale(int32_t value, int scroll_code, int thumb_position) {
    switch (scroll_code) {
        case SCROLL_LINE_LEFT:
        case SCROLL_PAGE_LEFT:
            return value > scale_min_percent ? value - 1 : value;
        case SCROLL_LINE_RIGHT:
        case SCROLL_PAGE_RIGHT:
            return value < scale_max_percent ? value + 1 : value;
        case SCROLL_THUMB_TRACK:
            // The bar's range keeps the thumb in 20..200, but any program can
            // send this message; a speed of 0 would divide by zero in the
            // stream's delta time.
            return clamp_to_scale(thumb_position);
        default:
            return value;
    }
}

namespace {
void sleep_one_ms() { sleep_ms(1); }
WorkerWait worker_wait = sleep_one_ms;
}  // namespace

void install_worker_wait(WorkerWait wait) { worker_wait = wait ? wait : sleep_one_ms; }

LoadResult load_tune_file(const char* path, bool play) {
    LoadResult checked = check_psid_file(path);
    if (checked != LOAD_OK) return checked;  // the tune that plays goes on
    return load_checked_tune(play);
}

LoadResult load_checked_tune(bool play) {
    PlayerState& p = player_state;
    // Playing, or about to: a Play not taken yet, or a start that waits for
    // the previous mute frames. The new tune then starts in its place. A Play
    // not taken yet asked for the tune being replaced: taken in the same pass
    // as the stop below, it would start on the image the loader is about to
    // rewrite, so it is cancelled.
    bool was_on;
    {
        RequestLock lock(request_mutex);
        was_on = on_under_lock();
        drop_song_end();
        drop_seek();
        cancel_start_and_resume();
        p.stop_request = 1;
    }
    while (p.stop_request) worker_wait();
    // The stream callback may be inside a play call that began just before
    // playing dropped; the loader must not clear the image under it.
    wait_until_silenced();

    // The image is rewritten whatever the result, so a paused tune can no
    // longer be resumed: the next Play starts afresh from the init routine.
    p.paused = 0;
    LoadResult result = load_checked_psid();
    if (result == LOAD_OK) {
        p.tune_loaded = 1;
        p.current_song = tune_info.start_song;
        if (was_on || play) {
            RequestLock lock(request_mutex);
            p.start_request = 1;
        }
    } else {
        p.tune_loaded = 0;
    }
    return result;
}

LoadResult load_tune_path(bool play) { return load_tune_file(player_state.tune_path, play); }

#include "player/commands.h"

#include "platform/clock.h"
#include "player/playback_controller.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/tune_info.h"

namespace {
constexpr int32_t scale_min = 20;
constexpr int32_t scale_max = 200;
}  // namespace

const char* press_play() {
    PlayerState& p = player_state;
    if (p.playing) {
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
    if (!player_state.playing) return nullptr;  // after a pause too: paused stays, Play resumes
    player_state.stop_request = 1;
    return "Play";
}

bool press_exit() {
    if (!player_state.playing) return false;
    player_state.stop_request = 1;
    return true;
}

void toggle_voice(int index) {
    std::atomic<int32_t>& voice = player_state.voice_enabled[index];
    voice = voice == 0 ? 1 : 0;
}

void choose_song(WindowHandle window, int32_t song) {
    song = static_cast<uint16_t>(song);  // no selection (-1) gives 0
    if (song == player_state.current_song) return;
    player_state.current_song = song;
    if (player_state.playing) start_playback(window);
}

int32_t scroll_scale(int32_t value, int scroll_code, int thumb_position) {
    switch (scroll_code) {
        case SCROLL_LINE_LEFT:
        case SCROLL_PAGE_LEFT:
            return value > scale_min ? value - 1 : value;
        case SCROLL_LINE_RIGHT:
        case SCROLL_PAGE_RIGHT:
            return value < scale_max ? value + 1 : value;
        case SCROLL_THUMB_TRACK:
            // The bar's range keeps the thumb in 20..200, but any program can
            // send this message; a speed of 0 would divide by zero in the
            // stream's delta time.
            return thumb_position < scale_min ? scale_min : thumb_position > scale_max ? scale_max : thumb_position;
        default:
            return value;
    }
}

namespace {
void sleep_one_ms() { sleep_ms(1); }
WorkerWait worker_wait = sleep_one_ms;
}  // namespace

void install_worker_wait(WorkerWait wait) { worker_wait = wait ? wait : sleep_one_ms; }

int load_tune_path(bool play) {
    PlayerState& p = player_state;
    // A Play that the worker has not taken yet asked for the tune being
    // replaced: taken in the same pass as the stop below, it would start on
    // the image the loader is about to rewrite. It is cancelled, and asks for
    // the new tune instead. A Stop or Pause not yet taken already ended the
    // playback, and the button says "Play": then the new tune must not start.
    bool play_pending = (p.start_request.exchange(0) | p.resume_request.exchange(0)) != 0;
    bool stop_pending = p.stop_request;
    p.stop_request = 1;
    bool was_playing = !stop_pending && (p.playing || play_pending);
    while (p.stop_request) worker_wait();
    // The stream callback may be inside a play call that began just before
    // playing dropped; the loader must not clear the image under it.
    wait_until_silenced();

    // The image is rewritten whatever the result, so a paused tune can no
    // longer be resumed: the next Play starts afresh from the init routine.
    p.paused = 0;
    int result = load_psid(p.tune_path);
    if (result == LOAD_OK) {
        p.tune_loaded = 1;
        p.current_song = tune_info.start_song;
        if (was_playing || play) p.start_request = 1;
    } else {
        p.tune_loaded = 0;
    }
    return result;
}

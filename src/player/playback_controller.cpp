#include "player/playback_controller.h"

#include <climits>
#include <cstdint>
#include <mutex>

#include "midi/register_frame.h"
#include "midi/stream_lock.h"
#include "midi/stream_transport.h"
#include "platform/clock.h"
#include "player/control_frames.h"
#include "player/machine_tune.h"
#include "player/play_rate.h"
#include "player/player_state.h"
#include "player/song_run.h"
#include "player/tune_driver.h"
#include "player/tune_info.h"

namespace {

constexpr int worker_pass_ms = 10;
constexpr int silence_poll_ms = 10;
constexpr int32_t close_margin_ms = 100;  // beyond the held buffers' delta times, for the device's own latency

// Ticks of the events played while the current song played, from its start:
// the time at which the next play call runs. Under StreamLock.
uint64_t song_ticks;

// The current song's tune time, the length it stops at and what the
// synthesizer holds of it; under StreamLock.
SongRun song_run;

std::atomic<SongLengthLookup> song_length_lookup{nullptr};

int32_t current_song_length_ms() {
    SongLengthLookup lookup = song_length_lookup;
    int32_t length = lookup ? lookup(player_state.current_song) : -1;
    return length > 0 ? length : -1;
}

void publish_song_time() { player_state.song_time_ms = song_run.elapsed_ms(); }

// Under StreamLock, with playing set. The song stops here; the front end
// hears of it only when nothing the user asked for is under way, or it would
// undo that request (a Stop, a Pause, another song chosen, a Play).
bool end_song() {
    PlayerState& p = player_state;
    std::lock_guard<std::mutex> lock(request_mutex);
    bool tell = p.playing && !p.starting && !p.closing && !p.stop_request && !p.start_request && !p.resume_request;
    p.playing = 0;
    if (tell) p.song_ended = 1;
    return tell;
}

// Position callbacks come only while the stream is open and unbroken; a
// wait for them anywhere else would never end.
bool callbacks_will_come() { return stream_is_open() && !stream_broken(); }

void wait_for_mute_frames() {
    while (!player_state.silenced && callbacks_will_come()) sleep_ms(silence_poll_ms);
}

// A wait at the program's end must not outlast the stream: whatever it waits
// for comes, if at all, once the buffers the stream holds have played.
template <class Condition>
void wait_at_most_for_held_buffers(WindowHandle window, Condition condition) {
    int32_t budget;
    {
        StreamLock lock(window);
        budget = stream_time_held_ms() + close_margin_ms;
    }
    for (int32_t waited = 0; condition() && callbacks_will_come() && waited < budget; waited += silence_poll_ms)
        sleep_ms(silence_poll_ms);
}

// Every start on a running stream would add one buffer to those the stream
// holds, and so does every mute; after eight stops and starts (or song
// changes) they would fill the ring, and the slot being filled would be one
// the stream still reads. So a start stops the stream first, as a resume
// does, but only once the mute frames have been played: what the stop drops
// is then nothing but empty buffers.
void stop_stream_holding_only_silence() {
    while (stream_holds_messages() && callbacks_will_come()) sleep_ms(silence_poll_ms);
    if (callbacks_will_come() && stream_holds_buffers()) midiStreamStop(stream_handle);
}

// Start sequences run on the worker (Play, a load while playing) and on the
// UI thread (a song change while playing), and a resume on the worker. Two at
// once would undo each other's work: one drops playing and waits for the mute
// frames while the other sets it again, and waits for ever. So they take
// turns. The wait polls, as the failure report's does, so that a UI thread
// waiting here still lets through what a warning box owned by its window
// needs.
std::mutex sequence_mutex;

class SequenceTurn {
public:
    SequenceTurn() {
        while (!sequence_mutex.try_lock()) sleep_ms(1);
    }
    ~SequenceTurn() { sequence_mutex.unlock(); }
    SequenceTurn(const SequenceTurn&) = delete;
    SequenceTurn& operator=(const SequenceTurn&) = delete;
};

// What the transport asks of the player. The stream's loss is seen here, under
// the transport's lock: nothing more reaches that stream, so nothing is
// playing and there is nothing left to mute, and waits for silenced end.
constexpr const char* failure_caption = "Cancel";
constexpr const char* samples_caption = "Samples";

void stream_broke() {
    player_state.playing = 0;
    player_state.silenced = 1;
}

// A start or resume that cannot open the stream leaves the player stopped;
// the button says so before the box, and reads "Pause" again only when a
// later start plays. Set and read under SequenceTurn.
bool open_failure_told = false;

void tell_open_failure(WindowHandle owner, const char* text) {
    open_failure_told = true;
    panel_set_play_button_text(owner, "Play");
    panel_show_warning(owner, text, failure_caption);
}

void tell_stream_failure(WindowHandle owner, const char* text) {
    panel_set_play_button_text(owner, "Play");
    panel_show_warning(owner, text, failure_caption);
}

// Before main, so that the stream never runs without its player.
struct TransportCallsInstaller {
    TransportCallsInstaller() {
        install_transport_calls({pacing_step, current_play_period, stream_broke, tell_open_failure, tell_stream_failure});
    }
} transport_calls_installer;

// Telling a failure sets the button to "Play". A start or resume that told
// one and then went on to play on a new stream sets it back, or the next
// press would pause what the user just started.
void show_playing_after_failure(WindowHandle window, bool failure_told) {
    if (failure_told && player_state.playing) panel_set_play_button_text(window, "Pause");
}

void resume(WindowHandle window) {
    // A Play that follows its Pause within one play period finds the mute
    // frames not yet sent; they go out first, so that the restore frame
    // carries the volume they saved. A stream lost to a failure while paused
    // is opened anew: the synthesizer keeps its registers, so the restore
    // frame is all it needs.
    SequenceTurn turn;
    // A start taken just before this resume already plays the tune afresh:
    // there is nothing to resume (and no mute frames would ever come).
    if (player_state.playing || player_state.closing) return;
    wait_for_mute_frames();
    bool reopened = open_failure_told;
    open_failure_told = false;
    if (callbacks_will_come()) {
        midiStreamStop(stream_handle);  // every waiting buffer comes back unplayed
    } else {
        report_transport_failure(window);
        if (!open_midi_stream(window, player_state.midi_out_device)) return;
        reopened = true;
    }
    {
        StreamLock lock(window);
        player_state.playing = 1;
        player_state.silenced = 0;
        write_restore_frame();
        queue_stream_buffer();
        if (!stream_broken()) midiStreamRestart(stream_handle);
    }
    show_playing_after_failure(window, reopened);
}

bool start_or_resume_ahead() {
    std::lock_guard<std::mutex> lock(request_mutex);
    const PlayerState& p = player_state;
    return p.start_request || p.resume_request || p.starting;
}

// Under StreamLock, while playing: the seek, then the song time it reached,
// or the stop of a call that never returned on the way.
CpuCallResult run_silently_to(int64_t target_us) {
    CpuCallResult result = song_run.run_silently_to(target_us);
    publish_song_time();
    if (result == CPU_ABANDONED) {
        player_state.stopped_in_init = song_run.init_abandoned();
        player_state.play_stopped_at_ms = song_run.init_abandoned() ? 0 : player_state.song_time_ms.load();
        player_state.playing = 0;
        return CPU_ABANDONED;
    }
    song_ticks = static_cast<uint64_t>(player_state.song_time_ms);
    return CPU_RETURNED;
}

// The worker's part of a seek: the CPU is the stream callback's while
// playing, so the seek runs under its lock, between two pacing steps. A seek
// at or past a known length ends the song there, as playing on would.
void seek(WindowHandle window, int32_t target_ms) {
    bool abandoned = false;
    bool ended = false;
    {
        StreamLock lock(window);
        // A stop taken with the seek, a start that failed, a song that ended.
        if (!player_state.playing || player_state.paused) return;
        int64_t target_us = int64_t{target_ms < 0 ? 0 : target_ms} * 1000;
        if (song_run.target_past_length(target_us)) {
            ended = end_song();
        } else {
            abandoned = run_silently_to(target_us) == CPU_ABANDONED;
        }
    }
    if (abandoned && !start_or_resume_ahead()) panel_set_play_button_text(window, "Play");
    if (ended) panel_song_ended(window);
}

}  // namespace

void start_playback(WindowHandle window) {
    // A start never overtakes the mute frames of the playback it replaces:
    // it drops playing itself, or finds a stop's mute frames still to come.
    SequenceTurn turn;
    if (player_state.closing) return;
    player_state.playing = 0;
    wait_for_mute_frames();
    stop_stream_holding_only_silence();

    bool after_failure = stream_broken() || open_failure_told;
    open_failure_told = false;
    report_transport_failure(window);
    if (!open_midi_stream(window, player_state.midi_out_device)) return;
    int32_t length_ms = current_song_length_ms();

    {
        StreamLock lock(window);
        restart_play_period();
        song_ticks = 0;
        song_run.restart(length_ms);
        player_state.song_time_ms = 0;
        player_state.song_length_ms = length_ms;
        player_state.song_ended = 0;
        player_state.play_stopped_at_ms = -1;
        player_state.stopped_in_init = 0;
        write_reset_frame();
        song_run.note_init(init_tune());
        write_rate_label(window);
        append_text_message(tune_info.name);
        queue_stream_buffer();
        if (stream_broken()) return;
        player_state.playing = 1;
        player_state.silenced = 0;
        midiStreamRestart(stream_handle);
    }
    show_playing_after_failure(window, after_failure);
}

void pacing_step(WindowHandle window, uint32_t played_ticks) {
    bool abandoned = false;
    bool ended = false;
    {
        StreamLock lock(window);
        // At the program's end the stream is left to play out what it holds.
        if (player_state.closing && player_state.silenced) return;
        queue_stream_buffer();
        if (player_state.playing && !player_state.paused && song_run.played_its_length()) {
            ended = end_song();
        } else if (player_state.playing && !player_state.paused) {
            song_ticks += played_ticks;
            if (song_run.step() == CPU_ABANDONED) {
                // Which routine first: a reader that sees the time sees it right.
                bool in_init = song_run.init_abandoned();
                player_state.stopped_in_init = in_init;
                player_state.play_stopped_at_ms =
                    in_init ? 0 : static_cast<int32_t>(song_ticks < INT32_MAX ? song_ticks : INT32_MAX);
                player_state.playing = 0;
                abandoned = true;
            } else {
                publish_song_time();
            }
        }
        if (!player_state.silenced && !player_state.playing) {
            write_mute_frames();
            queue_stream_buffer();
            player_state.silenced = 1;
        }
    }
    // The button says what the next press does. A Play pressed since the
    // play call was made (a start or resume waiting or under way) already
    // set it to "Pause", and that start will play the tune afresh.
    if (abandoned && !start_or_resume_ahead()) panel_set_play_button_text(window, "Play");
    if (ended) panel_song_ended(window);
}

void worker_pass(WindowHandle window) {
    // A failure the stream callback noticed is reported here, off its thread.
    report_transport_failure(window);

    // All at once: requests raised while this pass starts a tune wait for
    // the next pass, with their order kept. A command that finds a start or
    // resume request taken finds it under way (starting).
    PlayerState& p = player_state;
    bool stop, start, resume_now, seek_now;
    int32_t seek_target_ms;
    {
        std::lock_guard<std::mutex> lock(request_mutex);
        stop = p.stop_request.exchange(0);
        start = p.start_request.exchange(0);
        resume_now = p.resume_request.exchange(0);
        seek_now = p.seek_request.exchange(0);
        seek_target_ms = p.seek_target_ms;
        if (start || resume_now) p.starting = 1;
        // With the request, so that a song ending meanwhile sees one or the
        // other and is not announced over the user's stop.
        if (stop) p.playing = 0;
    }
    if (start) start_playback(window);
    if (resume_now) resume(window);
    p.starting = 0;
    // After the start it came with (a song begun at a given time), and
    // after starting drops, so that a seek past the song's end is told.
    if (seek_now) seek(window, seek_target_ms);
    if (p.samples_notice.exchange(0)) panel_show_warning(window, samples_notice, samples_caption);
    sleep_ms(worker_pass_ms);
    // The stream callback changes the rate at any moment, between two passes
    // as well as during one; so the label is compared with what it shows,
    // not with the rate at the start of this pass.
    if (rate_label_number_hz() != rate_label_hz()) write_rate_label(window);
}

void playback_worker(WindowHandle window) {
    for (;;) worker_pass(window);
}

void playback_worker_while(WindowHandle window, const std::atomic<bool>& running) {
    while (running) worker_pass(window);
}

void install_song_length_lookup(SongLengthLookup lookup) { song_length_lookup = lookup; }

void wait_until_silenced() {
    wait_for_mute_frames();
}

void close_playback(WindowHandle window) {
    PlayerState& p = player_state;
    {
        std::lock_guard<std::mutex> lock(request_mutex);
        p.closing = 1;
        p.start_request = 0;
        p.resume_request = 0;
        p.stop_request = 0;
    }
    {
        // A start or resume under way finishes first, and is then stopped.
        SequenceTurn turn;
        p.playing = 0;
        wait_at_most_for_held_buffers(window, [] { return !player_state.silenced; });
        // The stop below hands back every buffer unplayed; from here on the
        // stream gets nothing new, and once the mute frames have played it
        // holds only empty buffers.
        wait_at_most_for_held_buffers(window, stream_holds_messages);
    }
    report_transport_failure(window);
    close_midi_stream();
}

#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

// The process-wide settings and cross-thread flags. The UI thread, the
// playback worker and the stream callback share these words; each is an
// atomic 32-bit word so that every read sees a whole value and the flag
// hand-offs order the work around them (flags hold 0 or 1).
struct PlayerState {
    std::atomic<int32_t> playing;
    std::atomic<int32_t> stop_request;
    std::atomic<int32_t> start_request;
    std::atomic<int32_t> resume_request;
    std::atomic<int32_t> seek_request;
    std::atomic<int32_t> paused;
    std::atomic<int32_t> silenced;       // set by the callback once the mute frames are queued
    std::atomic<int32_t> starting;       // the worker is carrying out a start or resume it has taken
    std::atomic<int32_t> closing;        // the program is ending: nothing starts or resumes any more
    std::atomic<int32_t> tune_loaded;
    std::atomic<int32_t> current_song;   // 1-based; -1 before a tune is loaded
    // The play period: machine cycles from one play call to the next at
    // 100 % speed, and the machine's clock in cycles per second. The tune
    // driver sets them (set_play_period, play_rate.h); the stream's delta
    // times and the song time count them.
    std::atomic<int32_t> play_period_cycles;
    std::atomic<int32_t> clock_hz;
    std::atomic<int32_t> play_rate_hz;   // play calls per second at 100 %, rounded to whole Hz: for show only
    // The period the rate shows: the play period, or for a tune on the
    // machine, whose period is each frame's own gap, its recent frames' mean.
    std::atomic<int32_t> shown_period_cycles;
    std::atomic<int32_t> last_volume;    // raw value of the last encoded register 24
    std::atomic<int32_t> saved_volume;   // last_volume when the mute frames went out
    std::atomic<int32_t> midi_out_device;  // chosen in Preferences; -1 none (the mapper)
    std::atomic<int32_t> speed_percent;    // 20..200
    std::atomic<int32_t> filter_percent;   // 20..200
    std::atomic<int32_t> voice_enabled[4]; // voices 1..3, then the filter and volume group
    // What becomes of a tune's second and third SID chip: EXTRA_SIDS_OFF
    // (not played), EXTRA_SIDS_FRAMES (their own frames after the first
    // chip's, on the same port) or EXTRA_SIDS_PORTS (a port each).
    std::atomic<int32_t> extra_sids;
    std::atomic<int32_t> changes_only;    // 1: frames carry only what the synthesizer does not hold
    // Song time in ms (stream ticks while playing, from the start) of the play
    // call that did not return and so stopped playback; -1 until one does.
    // Every start clears it.
    std::atomic<int32_t> play_stopped_at_ms;
    // Set with play_stopped_at_ms (and before it) when the call that did not
    // return was the song's init, not its play routine; cleared with it.
    std::atomic<int32_t> stopped_in_init;
    // Tune time of the current song at 100 % speed: the play periods of the
    // calls run since its start (0 at every start, kept by pause and resume).
    std::atomic<int32_t> song_time_ms;
    // The current song's length, taken at its start from the installed song
    // length lookup; -1 unknown: the song plays until stopped.
    std::atomic<int32_t> song_length_ms;
    // The song has played its length and playback stopped there, with the
    // mute frames; raised by the stream callback, taken by the front end
    // (take_song_end), dropped by every command that changes playback.
    std::atomic<int32_t> song_ended;
    // Where a seek moves the current song, in ms of tune time at 100 % speed;
    // read by the worker with seek_request.
    std::atomic<int32_t> seek_target_ms;
    // The tune was found playing samples through the volume register, which
    // frames cannot carry; raised once a start by the tune driver, taken by
    // the worker, which tells the user.
    std::atomic<int32_t> samples_notice;
    char tune_path[260];  // UI thread only
};

enum ExtraSids : int32_t { EXTRA_SIDS_OFF = 0, EXTRA_SIDS_FRAMES = 1, EXTRA_SIDS_PORTS = 2 };

extern PlayerState player_state;

// The commands raise and cancel stop_request, start_request and
// resume_request, and the worker takes them, under this lock: the worker
// takes every request raised so far at once and acts on them in the order
// they were meant (a Stop or Pause cancels the starts and resumes raised
// before it, so stop comes first). Never held across a wait.
extern std::mutex request_mutex;

// Gives every field its start value; the Windows program then reads its
// persisted settings over these.
void reset_player_state();

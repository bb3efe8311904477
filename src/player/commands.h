#pragma once
// The main window's commands as flag changes, shared by every front panel
// (the Win32 window, the command-line player, tests), so that each panel only
// has its own controls to update.
#include <cstdint>

#include "player/psid_loader.h"

// Playback counts as on from the Play (or song change, or load) that asks
// for it until a Stop or Pause: while the request waits for the worker, while
// the worker's start waits for the previous mute frames, and while it plays.
// The Play button then reads "Pause", and Play and Stop act on it.
bool playback_on();

// Play / Pause (button 102). Returns the button's new text, or nullptr when
// the press does nothing (no tune loaded). While playback is on and a start
// is under way or the tune plays, it pauses, and a start or resume not yet
// taken is cancelled. Otherwise it requests a resume when paused, else a
// start (so a second press before the worker took the first asks again).
const char* press_play();

// Stop (103). While playback is on: cancels a start or resume not yet taken,
// raises the stop request and returns "Play"; otherwise nullptr (after a
// pause too: paused stays, and Play resumes).
const char* press_stop();

// Takes the end of the current song (song_ended), once: true when it has
// played its length and stopped, and nothing the user did since changed
// playback (every command here drops the end). The front end then chooses
// what follows: play_song, load_tune_file with play, or nothing, which
// leaves playback stopped with the mute frames sent, as Stop does.
bool take_song_end();

// Starts song (1-based) of the loaded tune afresh, as choosing it and
// pressing Play from Stopped would: current_song := song, paused := 0, a
// start request. Returns the button's new text, "Pause", or nullptr when no
// tune is loaded.
const char* play_song(int32_t song);

// Moves the current song to ms of tune time (at 100 % speed; below 0 is 0)
// while playback is on: a seek request for the worker (playback_controller.h).
// Returns false, asking nothing, while stopped or paused. A song started or
// chosen afterwards drops a seek not yet taken.
bool seek_to(int32_t ms);

// seek_to from where the song stands: its time, or the target of a seek not
// yet taken (so that presses add up), or 0 while its start is still asked
// for.
bool seek_by(int32_t delta_ms);

// How far the seek keys move the song.
constexpr int32_t seek_step_ms = 10000;

// Voice switch 130..132 as index 0..2: inverts voice_enabled[index].
void toggle_voice(int index);

// Song selector (133): song is the selected index + 1 as an unsigned 16-bit
// number. Nothing when it equals current_song; otherwise current_song :=
// song, and while playback is on a start request for the worker, which mutes
// and starts the new song. Returns true when it asked for that start. It
// never waits: the window keeps answering while the stream plays out.
bool choose_song(int32_t song);

// Scroll codes of the speed and filter scales, with the values Win32 gives them.
enum ScrollCode : int {
    SCROLL_LINE_LEFT = 0,
    SCROLL_LINE_RIGHT = 1,
    SCROLL_PAGE_LEFT = 2,
    SCROLL_PAGE_RIGHT = 3,
    SCROLL_THUMB_POSITION = 4,
    SCROLL_THUMB_TRACK = 5,
};

// A scale's new value (20..200) after one scroll message; a page step is one
// unit like a line step.
int32_t scroll_scale(int32_t value, int scroll_code, int thumb_position);

// Loads path (any length the system takes). The file is checked first
// (check_psid_file): one that would not load changes nothing, and the tune
// loaded before stays loaded, playing or not. Returns that LoadResult; the
// panel shows the message. Otherwise load_checked_tune.
LoadResult load_tune_file(const char* path, bool play = false);

// The load of the file the last check_psid_file accepted: cancels a start or
// resume not yet taken, raises the stop request, waits until the worker has
// taken it and no play call can still run, then load_checked_psid. On
// LOAD_OK: tune_loaded := 1, current_song := start_song, and start_request
// when playback was on. Otherwise tune_loaded := 0. Either way paused is
// cleared: the image is rewritten, so nothing is left to resume. Returns the
// LoadResult; the panel shows the texts, the songs and any message. With
// play, a tune that loads starts whether or not one was playing (a tune
// opened from the desktop), once: the button then reads "Pause".
LoadResult load_checked_tune(bool play = false);

// load_tune_file of player_state.tune_path, the window's path (259
// characters at most, the size of its buffer).
LoadResult load_tune_path(bool play = false);

// How load_tune_file waits for the worker to take its stop request: 1 ms
// sleeps while a worker thread runs. A single-threaded driver (tests, the
// renderer) installs a wait that takes the request itself.
using WorkerWait = void (*)();
void install_worker_wait(WorkerWait wait);

#pragma once
// The main window's commands as flag changes, shared by every front panel
// (the Win32 window, the command-line player, tests), so that each panel only
// has its own controls to update.
#include <cstdint>

#include "player/panel.h"

// Play / Pause (button 102). Returns the button's new text, or nullptr when
// the press does nothing (no tune loaded).
const char* press_play();

// Stop (103). Returns "Play" when it stopped playback, nullptr otherwise.
const char* press_stop();

// Exit (1): raises the stop request when playing and returns true; the caller
// then waits 400 ms so the mute frames can go out before the window closes.
bool press_exit();

// Voice switch 130..132 as index 0..2: inverts voice_enabled[index].
void toggle_voice(int index);

// Song selector (133): song is the selected index + 1 as an unsigned 16-bit
// number. Nothing when it equals current_song; while playing, runs
// start_playback on the calling thread (mute, wait, start the new song).
void choose_song(WindowHandle window, int32_t song);

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

// Loads player_state.tune_path: raises the stop request, waits until the
// worker has taken it and no play call can still run, then load_psid. On
// LOAD_OK: tune_loaded := 1, current_song := start_song, and start_request
// when a tune was playing or a Play was still to be taken (a Stop or Pause
// still to be taken means not playing). Otherwise tune_loaded := 0. Either
// way paused is cleared: the image is rewritten, so nothing is left to
// resume. Returns the LoadResult; the panel shows the texts, the songs and
// any message. With play, a tune that loads starts whether or not one was
// playing (a tune opened from the desktop), once: the button then reads "Pause".
int load_tune_path(bool play = false);

// How load_tune_path waits for the worker to take its stop request: 1 ms
// sleeps while a worker thread runs. A single-threaded driver (tests, the
// renderer) installs a wait that takes the request itself.
using WorkerWait = void (*)();
void install_worker_wait(WorkerWait wait);

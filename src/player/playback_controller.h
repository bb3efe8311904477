#pragma once
#include <atomic>
#include <cstdint>

#include "player/panel.h"

// Turns the user's requests into a steady stream of register frames. Three
// threads meet here: the UI thread raises requests (and runs start_playback
// itself for a song change while playing), the playback worker takes them,
// and the stream callback paces everything through pacing_step.

// The worker thread's routine: worker passes for ever.
void playback_worker(WindowHandle window);

// Worker passes while running holds; for front ends and tests that end the
// worker before the process ends.
void playback_worker_while(WindowHandle window, const std::atomic<bool>& running);

// One pass of the worker: any transport failure the stream callback left to
// report, then the stop, start, resume and seek requests, all taken (cleared)
// at once and acted on in that order, then 10 ms, then the rate label if it
// no longer shows the rate. Tests and tools run passes directly.
//
// A seek, while playing, moves the current song to seek_target_ms of tune
// time: forward, the play routine runs without frames (at CPU speed, the
// song time counted) up to there; backward, the song starts again from its
// init and does the same. Then one frame with the whole register state of
// the song (write_state_frame) goes into the next buffer, and play goes on.
// A target at or past a known length ends the song as reaching its length
// does; a play call that does not return on the way stops playback as in
// play. While paused or stopped a seek does nothing.
void worker_pass(WindowHandle window);

// The start sequence, run by the worker for a start request (Play, a song
// change or a load while playing): drop playing and wait for the mute frames
// if needed, stop the stream once they have played, open the stream, reset
// frame, init, name, first buffer, restart. One start or resume runs at a
// time, and none once the program is closing.
void start_playback(WindowHandle window);

// The MOM_POSITIONCB work: queue the filled buffer, run one play step while
// playing, queue the mute frames once after playing drops. played_ticks is the
// delta time of the event that just played, the song time since the last step.
// Each play call adds one play period to song_time_ms. A song with a known
// length stops at the step whose call would begin at or past that length,
// as Stop does (the mute frames in the same step), and raises song_ended and
// the panel's song_ended, unless a stop, start or resume is already asked
// for: what follows is the front end's to choose.
void pacing_step(WindowHandle window, uint32_t played_ticks);

// The length in ms of tune time at 100 % speed of song (1-based) of the
// loaded tune, or -1 when it is not known. Asked once at every start for
// current_song, on the thread that starts (the worker, or a driver's), so it
// must answer at once. A front end that loads another tune makes its lookup
// answer for that tune before the load, whose start may follow at once.
using SongLengthLookup = int32_t (*)(int32_t song);

// Replaces the lookup; with none (nullptr, the start value) every length is
// unknown and songs play until stopped.
void install_song_length_lookup(SongLengthLookup lookup);

// Blocks until no play call can still be running: used before the loader
// clears the memory image. Returns at once when no stream is running.
void wait_until_silenced();

// However the program ends (Exit, the close box, the session ending, a quit):
// stops playback as Stop does, waits until the mute frames have been played,
// then closes the stream, so that no note is left sounding on the
// synthesizer. Each wait lasts at most as long as the stream needs to play
// what it holds, plus 100 ms. Nothing starts or resumes afterwards.
void close_playback(WindowHandle window);

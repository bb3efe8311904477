#pragma once
// The start that render and dump share: the tune loaded into a headless
// player, the sound options and the song set as the window's controls would
// set them, and Play pressed, so that the first buffer is on the stream; with
// --start, the seek taken too, so that its state frame is the next buffer.
#include <cstdio>

#include "cli/tune_options.h"

class HeadlessPlayer;

// Returns an ExitCode; failures are on err.
int start_headless(HeadlessPlayer& player, const TuneOptions& options, std::FILE* err);

// Moves the virtual clock on, one event time after another, until done()
// holds or nothing more is queued; false in that second case.
template <class Done>
bool run_stream_until(Done&& done);
bool advance_stream();  // one event time; false when nothing is queued

// The notices the player raised for the worker to tell, told on err once
// each: for the commands that run the stream without worker passes.
void tell_player_notices(std::FILE* err);

// True once a play call of the song has not returned and the mute frames that
// stopped it have played: nothing of the song follows on the stream.
bool song_stopped_and_muted();

template <class Done>
bool run_stream_until(Done&& done) {
    while (!done())
        if (!advance_stream()) return false;
    return true;
}

#pragma once
// zarvel-cli render TUNE|FOLDER|LIST.m3u ... -o OUT [--song N] [--all-songs]
// [--seconds S] [-j N] [--songlengths FILE] [--speed..] [--filter..]
// [--voices..]: the stream of a song for its length, made on the engine's
// virtual clock as fast as the machine allows. OUT.mid is a Standard MIDI
// File that a sequencer plays to the synthesizer with the player's timing;
// OUT.syx is the messages back to back. Several tunes, a folder or every
// song go to OUT as a folder (render_plan.h), rendered by worker processes.
// Every file is replaced only by a complete render (replacement_file.h).
//
// A song's length is its length in the song-length database, else S
// (180 s); an explicit --seconds wins. The length is tune time, so at 50 %
// speed a 3:00 song fills 6:00 of stream.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/tune_collection.h"
#include "cli/tune_options.h"

namespace CLI {
class App;
}

struct RenderOptions {
    TuneOptions tune;      // tune.tune is the tune when tunes is empty
    std::string output;
    double seconds = 180;  // the length when none is known, or always with seconds_given
    bool seconds_given = false;
    std::vector<std::string> tunes;
    bool all_songs = false;
    int jobs = 0;  // worker processes; 0: one per processor
    CollectionOptions collection;
};

void add_render_command(CLI::App& app, RenderOptions& options);

// Returns an ExitCode; a summary goes to out, failures to err.
int run_render(const RenderOptions& options, std::FILE* out, std::FILE* err);

// The buffers a render of seconds may hold. Time alone does not bound a
// stream whose period is 0 ticks (a fast tune at a high speed): it would
// never get past its first millisecond. No positive period is shorter than
// one 1 ms tick, so one buffer a tick, and a few for the start, is the most
// a real render needs.
uint64_t render_buffer_limit(double seconds);

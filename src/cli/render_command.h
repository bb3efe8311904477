#pragma once
// zarvel-cli render TUNE -o FILE [--song N] [--seconds S] [--speed..]
// [--filter..] [--voices..]: the stream of the first S seconds of the song,
// made on the engine's virtual clock as fast as the machine allows. FILE.mid
// is a Standard MIDI File that a sequencer plays to the synthesizer with the
// player's timing; FILE.syx is the messages back to back. FILE is replaced
// only by a complete render (replacement_file.h).
#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/tune_options.h"

namespace CLI {
class App;
}

struct RenderOptions {
    TuneOptions tune;
    std::string output;
    double seconds = 180;
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

#pragma once
// zarvel-cli play TUNE [--song N] [--port INDEX|NAME] [--speed..] [--filter..]
// [--voices..] [--seconds S] [--monitor] [--verbose]: real-time playback through the
// same controller as the window: PlayerState, a worker thread taking its
// requests, start_playback, and pacing_step on the stream's callbacks, paced
// by the engine's real clock.
//
// On a terminal it shows a status line and takes keys (play_keys.h); without
// one (stdin not a tty) it plays until --seconds have passed or it is killed.
// Every way out (q, the end of --seconds, SIGINT, SIGTERM, SIGHUP) lets the
// mute frames reach the synthesizer first. With no MIDI output port, or with
// --monitor, the built-in monitor (sid_monitor.h) stands in for the synthesizer.
// A port that goes away while it plays ends play at once, with exit code 1.
#include <string>

#include "cli/tune_options.h"

namespace CLI {
class App;
}

struct PlayOptions {
    TuneOptions tune;
    std::string port;    // index or name; empty: the first port
    double seconds = 0;  // 0: until quit or killed
    bool monitor = false;
    bool verbose = false;  // say how timely the player thread can be
};

void add_play_command(CLI::App& app, PlayOptions& options);

// Runs on the process's own stdin, stdout and stderr; returns an ExitCode.
int run_play(const PlayOptions& options);

#pragma once
// zarvel-cli play TUNE|FOLDER|LIST.m3u ... [--song N] [--all-songs] [--loop]
// [--shuffle] [--default-length M:SS] [--songlengths FILE] [--port INDEX|NAME]
// [--speed..] [--filter..] [--voices..] [--seconds S] [--monitor] [--verbose]:
// a play list (play_list.h, list_player.h), each song for its length as tune
// time, then the next; past the last song play mutes and ends. Real-time playback through the
// same controller as the window: PlayerState, a worker thread taking its
// requests, start_playback, and pacing_step on the stream's callbacks, paced
// by the engine's real clock.
//
// On a terminal it shows a status line and takes keys (play_keys.h); without
// one (stdin not a tty) it plays until the list ends, --seconds have passed
// or it is killed, with a line on stdout for each song of a list of many.
// Every way out (q, the end of --seconds, SIGINT, SIGTERM, SIGHUP) lets the
// mute frames reach the synthesizer first. With no MIDI output port, or with
// --monitor, the built-in monitor (sid_monitor.h) stands in for the synthesizer.
// A port that goes away while it plays ends play at once, with exit code 1.
#include <string>
#include <vector>

#include "cli/tune_collection.h"
#include "cli/tune_options.h"

namespace CLI {
class App;
}

struct PlayOptions {
    TuneOptions tune;  // tune.tune is the tune when tunes is empty; tune.song the first file's first song
    std::vector<std::string> tunes;
    bool all_songs = false;
    bool loop = false;
    bool shuffle = false;
    std::string default_length = "3:00";  // for unknown lengths in a list of many songs
    CollectionOptions collection;
    std::vector<std::string> ports;  // index or name each; none: the default port. More than one: --extra-sids ports
    double seconds = 0;  // 0: until quit or killed
    bool monitor = false;
    bool verbose = false;  // say how timely the player thread can be
    long link_rate = 3125;  // bytes per second the link carries (5-pin MIDI); 0: no limit
};

void add_play_command(CLI::App& app, PlayOptions& options);

// Runs on the process's own stdin, stdout and stderr; returns an ExitCode.
int run_play(const PlayOptions& options);

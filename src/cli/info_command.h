#pragma once
// zarvel-cli info TUNE|FOLDER|LIST.m3u ... [--json] [--songlengths FILE]:
// each tune's header, MD5, video standard and SID model, then each song's
// play rate as the player settles it after that song's init routine and its
// length from the song-length database, then its STIL entry. --json gives
// the same as one JSON object per tune per line.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/tune_collection.h"

namespace CLI {
class App;
}

struct InfoOptions {
    std::vector<std::string> tunes;
    bool json = false;
    std::string extra_sids = "off";  // the stream figures with the second and third SID as frames, or not
    CollectionOptions collection;
};

void add_info_command(CLI::App& app, InfoOptions& options);

// Returns an ExitCode; output to out, failures to err. A tune that cannot be
// loaded is reported and the others are still shown (exit code 1).
int run_info(const InfoOptions& options, std::FILE* out, std::FILE* err);

#pragma once
// zarvel-cli dump TUNE [--song N] [--buffers K] [--speed..] [--filter..]
// [--voices..]: the first K buffers queued on the stream from the start of
// the song, in queue order, one line each: the delta time in decimal, then a
// space and two upper-case hex digits for each message byte. An empty buffer
// is its delta time alone. Nothing else goes to stdout: other tools check the
// stream against these lines.
#include <cstdio>

#include "cli/tune_options.h"

namespace CLI {
class App;
}

struct DumpOptions {
    TuneOptions tune;
    long buffers = 100;
};

void add_dump_command(CLI::App& app, DumpOptions& options);

// Returns an ExitCode; the lines go to out, failures to err.
int run_dump(const DumpOptions& options, std::FILE* out, std::FILE* err);

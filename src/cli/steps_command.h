#pragma once
// zarvel-cli steps TUNE [--song N] [--count K]: loads a tune, prints its
// header, then runs its init routine and K play calls on the CPU core as the
// player would, printing each call's SID register writes and the play rate.
#include <cstdio>

#include "cli/tune_options.h"

namespace CLI {
class App;
}

struct StepsOptions {
    TuneOptions tune;  // the tune and its song; no sound options
    int count = 10;    // play calls after the init
};

// Adds the "steps" subcommand to app, filling options when it is given.
void add_steps_command(CLI::App& app, StepsOptions& options);

// Runs the command; returns an ExitCode. Output goes to out, failures to err.
int run_steps(const StepsOptions& options, std::FILE* out, std::FILE* err);

#pragma once
// zarvel-cli info TUNE: the header, then each song's play rate as the player
// settles it after that song's init routine.
#include <cstdio>
#include <string>

namespace CLI {
class App;
}

struct InfoOptions {
    std::string tune;
};

void add_info_command(CLI::App& app, InfoOptions& options);

// Returns an ExitCode; output to out, failures to err.
int run_info(const InfoOptions& options, std::FILE* out, std::FILE* err);

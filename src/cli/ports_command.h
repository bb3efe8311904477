#pragma once
// zarvel-cli ports: the MIDI output ports that play can use, one a line:
// the index (what --port takes), two spaces, the name.
#include <cstdio>

namespace CLI {
class App;
}

void add_ports_command(CLI::App& app);

// EXIT_OK with the list; with no port, or no MIDI service at all, a line on
// out says so. EXIT_DEVICE_FAILED when a service that is running fails.
int run_ports(std::FILE* out, std::FILE* err);

#pragma once
// zarvel-cli ports: the MIDI output ports that play can use, one a line:
// the index (what --port takes), two spaces, the name.
#include <cstdio>

namespace CLI {
class App;
}

void add_ports_command(CLI::App& app);

// EXIT_OK with the list (an empty list says so on err); EXIT_DEVICE_FAILED
// when neither an ALSA sequencer nor a JACK server can be reached.
int run_ports(std::FILE* out, std::FILE* err);

#include "cli/ports_command.h"

#include <CLI/CLI.hpp>

#include "cli/exit_codes.h"
#include "cli/midi_ports.h"

void add_ports_command(CLI::App& app) {
    app.add_subcommand("ports",
                       "List the MIDI output ports (ALSA sequencer and JACK) by index and name, "
                       "as play --port takes them");
}

int run_ports(std::FILE* out, std::FILE* err) {
    MidiPorts ports = use_midi_ports();
    for (size_t i = 0; i < ports.names.size(); ++i) std::fprintf(out, "%zu  %s\n", i, ports.names[i].c_str());
    if (!ports.service_found) {
        std::fputs("zarvel-cli: no MIDI service: neither an ALSA sequencer nor a JACK server is running\n", err);
        return EXIT_DEVICE_FAILED;
    }
    if (ports.names.empty()) std::fputs("zarvel-cli: there is no MIDI output port\n", err);
    return EXIT_OK;
}

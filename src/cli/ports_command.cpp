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
    using stream_engine::MidiService;
    MidiPorts ports = use_midi_ports();
    int chosen = default_port(ports.names);
    for (size_t i = 0; i < ports.names.size(); ++i)
        std::fprintf(out, "%zu  %s%s\n", i, ports.names[i].c_str(),
                     static_cast<int>(i) == chosen ? "  (default)" : "");
    // No service, or no port, is an answer; a service that is there and
    // fails is a failure.
    int code = EXIT_OK;
    if (ports.services.alsa == MidiService::failed) {
        std::fputs("zarvel-cli: the ALSA sequencer would not list its ports\n", err);
        code = EXIT_DEVICE_FAILED;
    }
    if (ports.services.jack == MidiService::failed) {
        std::fputs("zarvel-cli: the JACK server is running but would not let a client in to list its ports\n", err);
        code = EXIT_DEVICE_FAILED;
    }
    if (ports.names.empty() && code == EXIT_OK) {
        bool no_service = ports.services.alsa == MidiService::absent && ports.services.jack == MidiService::absent;
        std::fputs(no_service ? "no MIDI service: neither an ALSA sequencer nor a JACK server is running\n"
                              : "no MIDI output port\n",
                   out);
    }
    return code;
}

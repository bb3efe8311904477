#pragma once
// The MIDI output ports the stream engine plays to (the ALSA sequencer's and
// the JACK server's), and the choice of one.
#include <string>
#include <vector>

#include "platform/stream_engine.h"

struct MidiPorts {
    stream_engine::MidiServices services;
    std::vector<std::string> names;  // device i is names[i], as the engine reports it
};

// Makes the engine's device list the system's ports and returns them. The
// libraries behind them print their own complaints about a missing
// sequencer or server; those are held back, since "no port" is said here.
MidiPorts use_midi_ports();

// The device for --port: an index into names, a port's whole name, or a
// part of exactly one port's name (the engine cuts names to 31 characters,
// so a part is often all a user can give), in any letter case. -1 with the
// reason and the ports to choose from in why.
int find_port(const std::string& wanted, const std::vector<std::string>& names, std::string& why);

// The port play uses when none is given: the first, unless it is ALSA's "Midi
// Through" loopback, which echoes to other programs rather than reaching a
// synthesizer; then the first other one. -1 when names is empty.
int default_port(const std::vector<std::string>& names);

#pragma once
// JACK's MIDI input ports as the stream engine's devices, played through
// libjack itself. Linux only.
#include <memory>
#include <string>
#include <vector>

#include "platform/stream_engine.h"

namespace stream_engine {

// A sink that plays to one JACK MIDI input port, destination ("client:port").
// The player's thread hands each message to a queue; JACK's process thread
// writes it into the cycle at the frame where it belongs, one period after it
// was handed over, so the spacing of the messages survives JACK's cycles. A
// message that finds no room in a cycle waits, in order, for the next; none
// is dropped while the port is there. The JACK client exists while a stream
// is open on the sink.
std::shared_ptr<MidiSink> make_jack_sink(const std::string& destination);

// Adds a JACK sink device for each MIDI input port of the JACK server.
MidiService add_jack_devices(std::vector<Device>& devices);

}  // namespace stream_engine

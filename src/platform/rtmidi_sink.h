#pragma once
// The ALSA sequencer's MIDI output ports as the stream engine's devices,
// played through RtMidi. Linux only.
#include <vector>

#include "platform/stream_engine.h"

namespace stream_engine {

// Adds a device for each output port the ALSA sequencer lists.
MidiService add_alsa_devices(std::vector<Device>& devices);

}  // namespace stream_engine

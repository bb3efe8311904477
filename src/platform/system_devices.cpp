// The system's MIDI output ports as the engine's device list.
#include "platform/jack_sink.h"
#include "platform/rtmidi_sink.h"

namespace stream_engine {

MidiServices use_system_midi_devices() {
    std::vector<Device> devices;
    MidiServices services;
    services.alsa = add_alsa_devices(devices);
    services.jack = add_jack_devices(devices);
    set_devices(std::move(devices));
    return services;
}

}  // namespace stream_engine

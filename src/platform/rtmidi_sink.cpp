// Devices from the MIDI output ports RtMidi finds (ALSA sequencer, JACK).
#include <RtMidi.h>

#include <memory>
#include <mutex>

#include "platform/stream_engine.h"
#include "platform/sysex_split.h"

namespace stream_engine {
namespace {

constexpr const char* client_name = "Zarvel";

// RtMidi reports trouble through this instead of printing or throwing, once
// it is installed; any report at all means the port cannot be trusted.
void note_trouble(RtMidiError::Type, const std::string&, void* trouble) { *static_cast<bool*>(trouble) = true; }

class RtMidiSink : public MidiSink {
public:
    RtMidiSink(RtMidi::Api api, std::string port_name) : api_(api), port_name_(std::move(port_name)) {}

    // Ports come and go, so the port is found again by name at each first open.
    bool stream_opened() override {
        std::lock_guard<std::mutex> lock(lock_);
        if (users_ > 0) {
            ++users_;
            return true;
        }
        try {
            auto out = std::make_unique<RtMidiOut>(api_, client_name);
            trouble_ = false;
            out->setErrorCallback(note_trouble, &trouble_);
            unsigned int count = out->getPortCount();
            for (unsigned int i = 0; i < count && !trouble_; ++i) {
                if (out->getPortName(i) == port_name_) {
                    out->openPort(i, client_name);
                    break;
                }
            }
            if (trouble_ || !out->isPortOpen()) return false;
            out_ = std::move(out);
            users_ = 1;
            return true;
        } catch (const RtMidiError&) {
            return false;
        }
    }

    void stream_closed() override {
        std::lock_guard<std::mutex> lock(lock_);
        if (users_ > 0 && --users_ == 0) out_.reset();
    }

    // Empty events carry nothing for the synthesizer; the stream sends one
    // every period while the player is stopped.
    void play(const uint8_t* bytes, uint32_t length, uint32_t, int64_t) override {
        if (length == 0) return;
        std::lock_guard<std::mutex> lock(lock_);
        if (!out_) return;
        for_each_sysex(bytes, length, [this](const uint8_t* message, uint32_t size) {
            out_->sendMessage(message, size);
        });
    }

private:
    RtMidi::Api api_;
    std::string port_name_;
    std::mutex lock_;
    std::unique_ptr<RtMidiOut> out_;
    int users_ = 0;
    bool trouble_ = false;
};

}  // namespace

bool use_rtmidi_devices() {
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    std::vector<Device> devices;
    bool usable = false;
    for (RtMidi::Api api : apis) {
        if (api != RtMidi::LINUX_ALSA && api != RtMidi::UNIX_JACK) continue;
        try {
            // Without a sound card there is no ALSA sequencer, and without a
            // server no JACK: either shows up as an error or a warning here.
            RtMidiOut probe(api, client_name);
            bool trouble = false;
            probe.setErrorCallback(note_trouble, &trouble);
            unsigned int count = probe.getPortCount();
            if (trouble) continue;
            usable = true;
            for (unsigned int i = 0; i < count; ++i) {
                std::string name = probe.getPortName(i);
                if (!trouble) devices.push_back({name, std::make_shared<RtMidiSink>(api, name)});
            }
        } catch (const RtMidiError&) {
        }
    }
    set_devices(std::move(devices));
    return usable;
}

}  // namespace stream_engine

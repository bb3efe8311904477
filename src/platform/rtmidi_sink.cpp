// Devices from the ALSA sequencer's MIDI output ports, through RtMidi.
#include "platform/rtmidi_sink.h"

#include <RtMidi.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <mutex>

#include "platform/sysex_split.h"

namespace stream_engine {
namespace {

constexpr const char* client_name = "Zarvel";
constexpr const char* sequencer_device = "/dev/snd/seq";
// How often a playing sink looks whether its port is still there: sending to
// a port whose client has gone succeeds without a word, since RtMidi sends to
// its own port's subscribers, and the subscription went with the client.
constexpr auto presence_interval = std::chrono::milliseconds(250);

// RtMidi reports trouble through this instead of printing or throwing, once
// it is installed; any report at all means the port cannot be trusted.
void note_trouble(RtMidiError::Type, const std::string&, void* trouble) { *static_cast<bool*>(trouble) = true; }

bool port_listed(RtMidiOut& out, const std::string& name, bool& trouble) {
    unsigned int count = out.getPortCount();
    for (unsigned int i = 0; i < count && !trouble; ++i)
        if (out.getPortName(i) == name) return true;
    return false;
}

class RtMidiSink : public MidiSink {
public:
    explicit RtMidiSink(std::string port_name) : port_name_(std::move(port_name)) {}

    // Ports come and go, so the port is found again by name at each first open.
    bool stream_opened() override {
        std::lock_guard<std::mutex> lock(lock_);
        if (users_ > 0) {
            ++users_;
            return true;
        }
        try {
            auto out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, client_name);
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
            lost_ = false;
            last_look_ = std::chrono::steady_clock::now();
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
        for_each_sysex(bytes, length, [this](const uint8_t* message, uint32_t size) {
            if (!out_ || lost_) {
                ++undelivered_;
                return;
            }
            out_->sendMessage(message, size);
            if (trouble_) {
                lost_ = true;
                ++undelivered_;
            }
        });
    }

    PortHealth health() override {
        std::lock_guard<std::mutex> lock(lock_);
        auto now = std::chrono::steady_clock::now();
        if (out_ && !lost_ && now - last_look_ >= presence_interval) {
            last_look_ = now;
            if (!port_listed(*out_, port_name_, trouble_) || trouble_) lost_ = true;
        }
        return {lost_, undelivered_};
    }

private:
    std::string port_name_;
    std::mutex lock_;
    std::unique_ptr<RtMidiOut> out_;
    int users_ = 0;
    bool trouble_ = false;
    bool lost_ = false;
    uint64_t undelivered_ = 0;
    std::chrono::steady_clock::time_point last_look_;
};

}  // namespace

MidiService add_alsa_devices(std::vector<Device>& devices) {
    // Without a sound card there is no sequencer device, and ALSA would say so
    // on stderr; that is no failure, only a machine without the service.
    if (access(sequencer_device, F_OK) != 0) return MidiService::absent;
    try {
        RtMidiOut probe(RtMidi::LINUX_ALSA, client_name);
        bool trouble = false;
        probe.setErrorCallback(note_trouble, &trouble);
        unsigned int count = probe.getPortCount();
        std::vector<Device> found;
        for (unsigned int i = 0; i < count && !trouble; ++i) {
            std::string name = probe.getPortName(i);
            found.push_back({name, std::make_shared<RtMidiSink>(name)});
        }
        if (trouble) return MidiService::failed;
        devices.insert(devices.end(), found.begin(), found.end());
        return MidiService::present;
    } catch (const RtMidiError&) {
        return MidiService::failed;
    }
}

}  // namespace stream_engine

// Devices on JACK's MIDI input ports, through libjack itself rather than
// RtMidi. RtMidi 5.0's JACK output drops a message its cycle has no room for,
// writes every message at the start of the cycle that takes it, and its
// destructor frees the message queue before closing the client, so a last
// process cycle reads freed memory (the SIGSEGV seen at the end of play).
#include "platform/jack_sink.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/jack_cycle.h"
#include "platform/message_queue.h"
#include "platform/sysex_split.h"

namespace stream_engine {
namespace {

using namespace std::chrono_literals;

constexpr const char* client_name = "Zarvel";
constexpr const char* port_name = "out";
// Thousands of register frames: minutes of music at a frame a period.
constexpr size_t queue_bytes = size_t{1} << 18;
// A full queue means JACK has run no cycle for a long while (a busy machine
// without real-time scheduling); the player's thread waits this long for
// room before it counts a message as undelivered.
constexpr auto room_wait = 1s;
// At a close, what was handed over goes out first (the last of it is the
// mute frames); a cycle is 43 ms at the longest usual period (2048 frames at
// 48 kHz).
constexpr auto drain_wait = 250ms;

int64_t steady_now_us() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// libjack prints every complaint (no server running, a socket that closed)
// on stderr. Whether a port exists or went away is said by our callers.
void ignore_message(const char*) {}

jack_client_t* open_client(jack_status_t& status) {
    static std::once_flag quiet;
    std::call_once(quiet, [] {
        jack_set_error_function(ignore_message);
        jack_set_info_function(ignore_message);
    });
    status = jack_status_t{};
    return jack_client_open(client_name, JackNoStartServer, &status);
}

class JackSink : public MidiSink {
public:
    explicit JackSink(std::string destination) : destination_(std::move(destination)) {}
    ~JackSink() override { close_client(); }

    bool stream_opened() override {
        std::lock_guard<std::mutex> lock(lock_);
        if (users_ > 0) {
            ++users_;
            return true;
        }
        if (!open_port()) {
            close_client();
            return false;
        }
        users_ = 1;
        return true;
    }

    void stream_closed() override {
        std::lock_guard<std::mutex> lock(lock_);
        if (users_ > 0 && --users_ == 0) close_client();
    }

    // Empty events carry nothing for the synthesizer. The messages of one
    // event share one stamp, so they land on the same frame, in order.
    void play(const uint8_t* bytes, uint32_t length, uint32_t, int64_t) override {
        if (length == 0) return;
        int64_t stamp = steady_now_us();
        std::lock_guard<std::mutex> lock(lock_);  // writers take turns; JACK's thread never waits for it
        for_each_sysex(bytes, length, [&](const uint8_t* message, uint32_t size) { hand_over(stamp, message, size); });
    }

    PortHealth health() override { return {lost_.load(), undelivered_.load()}; }

private:
    bool open_port() {
        jack_status_t status;
        client_ = open_client(status);
        if (!client_) return false;
        queue_ = std::make_unique<MessageQueue>(queue_bytes);
        lost_ = false;
        port_ = jack_port_register(client_, port_name, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        sample_rate_ = jack_get_sample_rate(client_);
        if (!port_ || jack_set_process_callback(client_, process, this) != 0 ||
            jack_set_sample_rate_callback(client_, rate_changed, this) != 0 ||
            jack_set_port_connect_callback(client_, connection_changed, this) != 0)
            return false;
        jack_on_info_shutdown(client_, server_gone, this);
        if (jack_activate(client_) != 0) return false;
        if (jack_connect(client_, jack_port_name(port_), destination_.c_str()) != 0) return false;
        watching_ = true;
        return true;
    }

    void close_client() {
        if (!client_) return;
        auto give_up = std::chrono::steady_clock::now() + drain_wait;
        while (queue_ && !queue_->empty() && !lost_ && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(1ms);
        watching_ = false;
        jack_deactivate(client_);
        jack_client_close(client_);
        client_ = nullptr;
        port_ = nullptr;
        // Only now that no cycle can run any more.
        if (queue_) undelivered_ += queue_->clear();
        queue_.reset();
    }

    void hand_over(int64_t stamp, const uint8_t* message, uint32_t size) {
        if (!queue_ || lost_ || size > queue_->largest_message()) {
            ++undelivered_;
            return;
        }
        auto give_up = std::chrono::steady_clock::now() + room_wait;
        while (!queue_->push(stamp, message, size)) {
            if (lost_ || std::chrono::steady_clock::now() >= give_up) {
                ++undelivered_;
                return;
            }
            std::this_thread::sleep_for(200us);
        }
    }

    // JACK's real-time thread: no lock, no allocation, no wait.
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<JackSink*>(arg);
        const JackCycle cycle{steady_now_us(), frames, self->sample_rate_};
        void* buffer = jack_port_get_buffer(self->port_, frames);
        jack_midi_clear_buffer(buffer);
        MessageQueue& queue = *self->queue_;
        jack_nframes_t last_offset = 0;
        bool wrote = false;
        int64_t stamp;
        uint32_t length;
        while (queue.front(stamp, length) && cycle.takes(stamp)) {
            jack_nframes_t offset = std::max<jack_nframes_t>(cycle.offset_of(stamp), last_offset);
            jack_midi_data_t* data =
                length <= jack_midi_max_event_size(buffer) ? jack_midi_event_reserve(buffer, offset, length) : nullptr;
            if (!data) {
                if (wrote) break;  // the cycle is full: the rest wait, in order, for the next
                queue.drop();      // larger than a whole cycle can carry
                ++self->undelivered_;
                continue;
            }
            queue.pop(data);
            last_offset = offset;
            wrote = true;
        }
        return 0;
    }

    // JACK's notification thread; the process thread reads the rate each cycle.
    static int rate_changed(jack_nframes_t rate, void* arg) {
        static_cast<JackSink*>(arg)->sample_rate_ = rate;
        return 0;
    }

    static void server_gone(jack_status_t, const char*, void* arg) { static_cast<JackSink*>(arg)->lost_ = true; }

    // JACK's notification thread. The destination's client closing, or the
    // server taking its port away, ends our connection.
    static void connection_changed(jack_port_id_t, jack_port_id_t, int connected, void* arg) {
        auto* self = static_cast<JackSink*>(arg);
        if (connected || !self->watching_) return;
        if (!jack_port_connected_to(self->port_, self->destination_.c_str())) self->lost_ = true;
    }

    const std::string destination_;
    std::mutex lock_;  // opening, closing and handing over
    int users_ = 0;
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::unique_ptr<MessageQueue> queue_;
    std::atomic<jack_nframes_t> sample_rate_{48'000};
    std::atomic<bool> watching_{false};  // connected: a lost connection now means a lost port
    std::atomic<bool> lost_{false};
    std::atomic<uint64_t> undelivered_{0};
};

}  // namespace

std::shared_ptr<MidiSink> make_jack_sink(const std::string& destination) {
    return std::make_shared<JackSink>(destination);
}

MidiService add_jack_devices(std::vector<Device>& devices) {
    jack_status_t status;
    jack_client_t* client = open_client(status);
    if (!client) return (status & JackServerFailed) ? MidiService::absent : MidiService::failed;
    if (const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput)) {
        for (const char** port = ports; *port; ++port) devices.push_back({*port, make_jack_sink(*port)});
        jack_free(ports);
    }
    jack_client_close(client);
    return MidiService::present;
}

}  // namespace stream_engine

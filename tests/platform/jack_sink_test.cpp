// End to end through a real MIDI service: a private JACK server with the dummy
// driver (no sound card needed), an input port on it standing for the
// synthesizer (RtMidi's, or a plain libjack client's that notes the frame of
// every message), and our stream engine playing SysEx frames to that port
// through its JACK sink, on the real clock.
#include <RtMidi.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/message_queue.h"
#include "stream_test_support.h"

namespace {

using namespace stream_test;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

// jackd under a server name of its own, so the test never meets (or
// disturbs) another JACK server; stopped when the test ends.
class JackServer {
public:
    JackServer() : name_("zarvel-test-" + std::to_string(getpid())) {
        setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        pid_ = fork();
        if (pid_ == 0) {
            freopen("/dev/null", "w", stdout);
            freopen("/dev/null", "w", stderr);
            // Synchronous (-S): the server waits for every client each cycle,
            // so a client that a busy machine holds up delays MIDI rather
            // than losing it, and what is lost is ours.
            execlp("jackd", "jackd", "-S", "--no-realtime", "-n", name_.c_str(), "-d", "dummy", "-r", "48000", "-p",
                   "256", static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~JackServer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 500; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            std::this_thread::sleep_for(10ms);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    bool started() const { return pid_ > 0; }
    bool still_running() { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

private:
    std::string name_;
    pid_t pid_ = -1;
};

void note_trouble(RtMidiError::Type type, const std::string&, void* trouble) {
    if (type != RtMidiError::DEBUG_WARNING) *static_cast<bool*>(trouble) = true;
}

// The synthesizer's end: a virtual JACK input port that keeps SysEx.
std::unique_ptr<RtMidiIn> open_synthesizer_port(JackServer& server) {
    for (int attempt = 0; attempt < 100 && server.still_running(); ++attempt) {
        try {
            auto in = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "zarvel-synth");
            bool trouble = false;
            in->setErrorCallback(note_trouble, &trouble);
            in->ignoreTypes(false, true, true);
            in->openVirtualPort("sid-in");
            if (!trouble) return in;
        } catch (const RtMidiError&) {
        }
        std::this_thread::sleep_for(100ms);  // the server is still starting
    }
    return nullptr;
}


// The synthesizer's end through libjack itself: every message with the frame
// it arrived at, handed to the test's thread through a lock-free queue.
class FrameReceiver {
public:
    struct Message {
        int64_t frame;
        Bytes bytes;
    };

    explicit FrameReceiver(JackServer& server) {
        jack_set_error_function([](const char*) {});  // the server may still be starting
        for (int attempt = 0; attempt < 100 && server.still_running() && !client_; ++attempt) {
            client_ = jack_client_open("zarvel-receiver", JackNoStartServer, nullptr);
            if (!client_) std::this_thread::sleep_for(100ms);
        }
        if (!client_) return;
        port_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        ready_ = port_ && jack_set_process_callback(client_, process, this) == 0 && jack_activate(client_) == 0;
    }
    ~FrameReceiver() { close(); }
    FrameReceiver(const FrameReceiver&) = delete;
    FrameReceiver& operator=(const FrameReceiver&) = delete;

    void close() {
        if (!client_) return;
        jack_deactivate(client_);
        jack_client_close(client_);
        client_ = nullptr;
    }
    bool ready() const { return ready_; }
    bool overflowed() const { return overflowed_; }
    jack_client_t* client() const { return client_; }

    // What has arrived since the last call, once count messages are in or
    // the timeout has passed.
    std::vector<Message> receive(size_t count, std::chrono::milliseconds timeout) {
        std::vector<Message> got;
        auto give_up = std::chrono::steady_clock::now() + timeout;
        while (got.size() < count && std::chrono::steady_clock::now() < give_up) {
            int64_t frame;
            uint32_t length;
            if (!queue_.front(frame, length)) {
                std::this_thread::sleep_for(1ms);
                continue;
            }
            Bytes bytes(length);
            queue_.pop(bytes.data());
            got.push_back({frame, std::move(bytes)});
        }
        return got;
    }

private:
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<FrameReceiver*>(arg);
        void* buffer = jack_port_get_buffer(self->port_, frames);
        int64_t cycle_start = jack_last_frame_time(self->client_);
        for (uint32_t i = 0, n = jack_midi_get_event_count(buffer); i < n; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0) continue;
            if (!self->queue_.push(cycle_start + event.time, event.buffer, static_cast<uint32_t>(event.size)))
                self->overflowed_ = true;
        }
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    bool ready_ = false;
    stream_engine::MessageQueue queue_{1 << 20};
    std::atomic<bool> overflowed_{false};
};

// Processes that spin as long as they live: a busy machine.
class BusyProcesses {
public:
    explicit BusyProcesses(int count) {
        for (int i = 0; i < count; ++i) {
            pid_t pid = fork();
            if (pid == 0) {
                std::atomic<unsigned long> spin{0};
                for (;;) spin.fetch_add(1, std::memory_order_relaxed);
            }
            pids_.push_back(pid);
        }
    }
    ~BusyProcesses() {
        for (pid_t pid : pids_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

private:
    std::vector<pid_t> pids_;
};

UINT device_named(const std::string& name) {
    for (UINT id = 0; id < midiOutGetNumDevs(); ++id) {
        MIDIOUTCAPSA caps{};
        midiOutGetDevCapsA(id, &caps, sizeof caps);
        if (name == caps.szPname) return id;
    }
    return midiOutGetNumDevs();
}

// Frame n: F0 2D 4E, n in two 7-bit bytes, 34 bytes that follow from n, F7.
Bytes numbered_frame(int n) {
    Bytes frame = {0xF0, 0x2D, 0x4E, static_cast<uint8_t>(n >> 7 & 0x7F), static_cast<uint8_t>(n & 0x7F)};
    for (int i = 0; i < 34; ++i) frame.push_back(static_cast<uint8_t>((n + i) & 0x7F));
    frame.push_back(0xF7);
    return frame;
}

bool ports_of_client(jack_client_t* client, const char* pattern) {
    const char** ports = jack_get_ports(client, pattern, nullptr, 0);
    bool any = ports && *ports;
    if (ports) jack_free(ports);
    return any;
}

class JackSinkEndToEnd : public ::testing::Test {
protected:
    void SetUp() override { reset_engine(); }
    void TearDown() override { reset_engine(); }
};

TEST_F(JackSinkEndToEnd, SysexFramesReachAJackPortWholeAndInOrder) {
    JackServer server;
    ASSERT_TRUE(server.started());
    std::unique_ptr<RtMidiIn> synthesizer = open_synthesizer_port(server);
    ASSERT_TRUE(synthesizer) << "jackd did not come up (scripts/setup.sh installs jackd2)";

    ASSERT_EQ(use_system_midi_devices().jack, MidiService::present);
    UINT device = midiOutGetNumDevs();
    for (UINT id = 0; id < midiOutGetNumDevs(); ++id) {
        MIDIOUTCAPSA caps{};
        midiOutGetDevCapsA(id, &caps, sizeof caps);
        if (std::string(caps.szPname).find("sid-in") != std::string::npos) device = id;
    }
    ASSERT_LT(device, midiOutGetNumDevs()) << "our port is not among the devices";

    HMIDISTRM stream;
    ASSERT_EQ(midiStreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    ASSERT_EQ(set_time_division(stream, 500), MMSYSERR_NOERROR);

    // Two messages in one event (the start's reset frame and text), then
    // frames a period apart, then an empty event, which sends nothing.
    Bytes reset = {0xF0, 0x2D, 0x4E, 0x00, 0x00, 0xF7};
    Bytes text = {0xF0, 0x2D, 0x4F, 'Z', 'a', 'r', 'v', 'e', 'l', 0xF7};
    std::vector<Bytes> frames;
    for (uint8_t n = 1; n <= 10; ++n) frames.push_back({0xF0, 0x2D, 0x4E, n, static_cast<uint8_t>(n * 3), 0xF7});

    EventBuffer buffer;
    Bytes start = reset;
    start.insert(start.end(), text.begin(), text.end());
    buffer.long_event(0, start);
    for (const Bytes& frame : frames) buffer.long_event(5, frame);
    buffer.long_event(5, {});
    ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
    midiStreamRestart(stream);

    std::vector<Bytes> expected = {reset, text};
    expected.insert(expected.end(), frames.begin(), frames.end());
    std::vector<Bytes> received;
    auto give_up = std::chrono::steady_clock::now() + 10s;
    while (received.size() < expected.size() && std::chrono::steady_clock::now() < give_up) {
        std::vector<unsigned char> message;
        synthesizer->getMessage(&message);
        if (message.empty()) {
            std::this_thread::sleep_for(2ms);
        } else {
            received.emplace_back(message.begin(), message.end());
        }
    }
    EXPECT_EQ(received, expected);

    midiStreamStop(stream);
    midiOutUnprepareHeader(as_out(stream), buffer.last_header(), sizeof(MIDIHDR));
    EXPECT_EQ(midiStreamClose(stream), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(50ms);
    std::vector<unsigned char> extra;
    synthesizer->getMessage(&extra);
    EXPECT_TRUE(extra.empty()) << "the empty event sent nothing";
}

// Ten buffers of a thousand frames each; every fifth frame comes 1 ms after
// the one before, except in buffer 5, whose thousand frames are all due at
// once: more than a 256-frame cycle has room for. Every frame arrives, whole
// and in order, on an idle machine and with two busy processes beside it.
TEST_F(JackSinkEndToEnd, TenThousandFramesArriveWholeAndInOrderAlsoUnderLoad) {
    JackServer server;
    ASSERT_TRUE(server.started());
    FrameReceiver receiver(server);
    ASSERT_TRUE(receiver.ready()) << "jackd did not come up (scripts/setup.sh installs jackd2)";
    ASSERT_EQ(use_system_midi_devices().jack, MidiService::present);
    UINT device = device_named("zarvel-receiver:in");
    ASSERT_LT(device, midiOutGetNumDevs());

    constexpr int per_buffer = 1000;
    constexpr int burst_buffer = 5;
    std::array<EventBuffer, 10> buffers;
    for (int b = 0; b < 10; ++b)
        for (int i = 0; i < per_buffer; ++i)
            buffers[b].long_event(b != burst_buffer && i % 5 == 0 ? 1 : 0, numbered_frame(b * per_buffer + i), false);

    for (int busy : {0, 2}) {
        SCOPED_TRACE(std::to_string(busy) + " busy processes");
        BusyProcesses load(busy);
        HMIDISTRM stream;
        ASSERT_EQ(midiStreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        ASSERT_EQ(set_time_division(stream, 500), MMSYSERR_NOERROR);  // 1 ms ticks
        for (auto& buffer : buffers) ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
        midiStreamRestart(stream);

        std::vector<FrameReceiver::Message> got = receiver.receive(10 * per_buffer, 30s);
        EXPECT_EQ(port_health(device).undelivered, 0u);
        EXPECT_FALSE(receiver.overflowed());
        for (int n = 0; n < 10 * per_buffer && n < static_cast<int>(got.size()); ++n) {
            ASSERT_EQ(got[n].bytes, numbered_frame(n)) << "frame " << n;
            if (n > 0) {
                ASSERT_GE(got[n].frame, got[n - 1].frame) << "frame " << n;
            }
        }
        ASSERT_EQ(got.size(), size_t{10 * per_buffer});
        int burst = burst_buffer * per_buffer;
        EXPECT_GT(got[burst + per_buffer - 1].frame, got[burst].frame) << "the burst's rest waited for a later cycle";
        if (busy == 0) {
            // Each millisecond's frames land 48 frames (1 ms at 48 kHz) after
            // the last, not all at the start of a 256-frame cycle (steps of
            // 0 and 256). Loosely: on a busy machine the dummy driver's
            // cycles take longer than their 256 frames.
            std::vector<int64_t> steps;
            for (int n = 5; n < burst; n += 5) steps.push_back(got[n].frame - got[n - 5].frame);
            std::sort(steps.begin(), steps.end());
            EXPECT_NEAR(steps[steps.size() / 2], 48, 12);
        }
        midiStreamStop(stream);
        for (auto& buffer : buffers) midiOutUnprepareHeader(as_out(stream), buffer.last_header(), sizeof(MIDIHDR));
        ASSERT_EQ(midiStreamClose(stream), MMSYSERR_NOERROR);
    }
}

// Closing the stream lets go of the JACK client (a stopped process must not
// hold the server up), a stream opened again plays, and a port that goes away
// is reported, with what was played to it afterwards counted as undelivered.
TEST_F(JackSinkEndToEnd, ClosingLetsGoOfTheClientReopeningPlaysAndALostPortIsReported) {
    JackServer server;
    ASSERT_TRUE(server.started());
    FrameReceiver receiver(server);
    ASSERT_TRUE(receiver.ready()) << "jackd did not come up (scripts/setup.sh installs jackd2)";
    use_system_midi_devices();
    UINT device = device_named("zarvel-receiver:in");
    ASSERT_LT(device, midiOutGetNumDevs());

    std::array<EventBuffer, 3> buffers;
    for (int n = 0; n < 3; ++n) buffers[n].long_event(0, numbered_frame(n), false);
    auto play = [&](int n) {
        HMIDISTRM stream;
        EXPECT_EQ(midiStreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
        EXPECT_EQ(prepare_and_queue(stream, buffers[n].header()), MMSYSERR_NOERROR);
        midiStreamRestart(stream);
        return stream;
    };
    auto close = [&](HMIDISTRM stream, int n) {
        midiStreamStop(stream);
        midiOutUnprepareHeader(as_out(stream), buffers[n].last_header(), sizeof(MIDIHDR));
        EXPECT_EQ(midiStreamClose(stream), MMSYSERR_NOERROR);
    };

    for (int n = 0; n < 2; ++n) {
        HMIDISTRM stream = play(n);
        std::vector<FrameReceiver::Message> got = receiver.receive(1, 5s);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].bytes, numbered_frame(n));
        EXPECT_TRUE(ports_of_client(receiver.client(), "^Zarvel"));
        close(stream, n);
        EXPECT_FALSE(ports_of_client(receiver.client(), "^Zarvel")) << "the client is gone once the stream closed";
    }
    EXPECT_FALSE(port_health(device).lost);

    HMIDISTRM stream = play(2);
    ASSERT_EQ(receiver.receive(1, 5s).size(), 1u);
    receiver.close();
    auto give_up = std::chrono::steady_clock::now() + 1s;
    while (!port_health(device).lost && std::chrono::steady_clock::now() < give_up) std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(port_health(device).lost);
    midiStreamStop(stream);
    midiOutUnprepareHeader(as_out(stream), buffers[2].last_header(), sizeof(MIDIHDR));
    ASSERT_EQ(prepare_and_queue(stream, buffers[2].header()), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    give_up = std::chrono::steady_clock::now() + 1s;
    while (port_health(device).undelivered == 0 && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(port_health(device).undelivered, 1u);
    close(stream, 2);
}

}  // namespace

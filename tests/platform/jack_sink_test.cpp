// End to end through a real MIDI service: a private JACK server with the dummy
// driver (no sound card needed), an RtMidi virtual input port on it standing
// for the synthesizer, and our stream engine playing SysEx frames to that port
// through the RtMidi sink, on the real clock.
#include <RtMidi.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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
            execlp("jackd", "jackd", "--no-realtime", "-n", name_.c_str(), "-d", "dummy", "-r", "48000", "-p", "256",
                   static_cast<char*>(nullptr));
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

class RtMidiJack : public ::testing::Test {
protected:
    void SetUp() override { reset_engine(); }
    void TearDown() override { reset_engine(); }
};

TEST_F(RtMidiJack, SysexFramesReachAJackPortWholeAndInOrder) {
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

}  // namespace

// The synthesizer's end of the cable, for the end-to-end tests of play:
//   jack_midi_receiver CLIENT PORT
// opens a virtual JACK MIDI input port CLIENT:PORT that keeps SysEx, prints
// "ready" once it is there, then one line per message received:
//   <microseconds since the first message> <bytes as upper-case hex>
// and ends when its stdin closes (the test holds the other end, so a test that
// dies takes the receiver with it).
#include <RtMidi.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

double seconds_since_first = -1;  // RtMidi's timestamps, summed; its callback thread only

void print_message(double delta_seconds, std::vector<unsigned char>* message, void*) {
    // The first message's delta is measured from when the port opened; time
    // here counts from that first message instead.
    seconds_since_first = seconds_since_first < 0 ? 0 : seconds_since_first + delta_seconds;
    std::printf("%lld", static_cast<long long>(seconds_since_first * 1e6 + 0.5));
    for (unsigned char byte : *message) std::printf(" %02X", byte);
    std::printf("\n");
    std::fflush(stdout);
}

void note_trouble(RtMidiError::Type type, const std::string&, void* trouble) {
    if (type != RtMidiError::DEBUG_WARNING) *static_cast<bool*>(trouble) = true;
}

// The server may still be starting: a port that did not open is tried again.
// The JACK library says why each attempt failed on stderr; that is kept
// quiet, and the receiver says once if it gave up.
std::unique_ptr<RtMidiIn> open_port(const char* client, const char* port) {
    std::fflush(stderr);
    int saved = dup(STDERR_FILENO);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    close(null);
    std::unique_ptr<RtMidiIn> opened;
    for (int attempt = 0; attempt < 100 && !opened; ++attempt) {
        try {
            auto in = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, client);
            bool trouble = false;
            in->setErrorCallback(note_trouble, &trouble);
            in->ignoreTypes(false, true, true);  // keep SysEx; drop timing and active sensing
            in->openVirtualPort(port);
            if (!trouble) {
                opened = std::move(in);
                break;
            }
        } catch (const RtMidiError&) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    dup2(saved, STDERR_FILENO);
    close(saved);
    return opened;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: jack_midi_receiver CLIENT PORT\n");
        return 2;
    }
    std::unique_ptr<RtMidiIn> in = open_port(argv[1], argv[2]);
    if (!in) {
        std::fprintf(stderr, "jack_midi_receiver: no JACK server took the port %s:%s\n", argv[1], argv[2]);
        return 1;
    }
    in->setCallback(print_message, nullptr);
    std::printf("ready\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    in->cancelCallback();
    in->closePort();
    return 0;
}

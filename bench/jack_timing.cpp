// How close to their times the player's frames reach a JACK port, beside an
// ideal sender in the same run. A private JACK server with the dummy driver
// (48 kHz, 64-frame periods, as a desktop would run it) carries both: the
// player is zarvel-cli play of a 60 Hz tune; the ideal sender is a thread here
// that sends the same buffers, as dump lists them, on absolute deadlines from
// its start, through the same kind of JACK client. A receiving client stamps
// every message on the steady clock at the frame JACK delivers it.
//
// For each sender: frames received, lost and received twice, lateness (p50,
// p99, max) against its own 1st percentile, and the drift: how much later the
// last seconds' frames are than the first seconds'; and the cycles the server
// missed (xruns): in its default asynchronous mode a cycle missed loses or
// repeats that cycle's MIDI, whoever sent it. First idle, then with two busy
// processes. With "sync" the server runs synchronously (-S): it waits for
// every client each cycle, so what is lost then is the senders' own.
// Targets, both runs: the player loses no frame; its p99 at most the ideal's
// + 1 ms; its drift within 1 ms of the ideal's. A plain program that prints
// its figures.
//
//   jack_timing [seconds per run, default 60] [sync]
//   jack_timing --ideal BUFFERS      (the ideal sender; the bench starts it)
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "busy_processes.h"
#include "platform/jack_sink.h"
#include "platform/message_queue.h"
#include "platform/player_thread_priority.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

const std::string program = ZARVEL_CLI_PROGRAM;
const std::string tune = std::string(ZARVEL_TUNES_DIR) + "/multisong.sid";
const std::string song = "1";  // 60 Hz, a frame every period

std::string self_path() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return std::string(path, length > 0 ? static_cast<size_t>(length) : 0);
}

int64_t steady_us() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

// What the stream holds, as zarvel-cli dump lists it: each buffer's delta
// time (ms) and its messages.
struct Buffer {
    int64_t delta_ms;
    std::vector<Bytes> messages;
};

std::string output_of(const std::string& command) {
    std::string out;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char chunk[4096];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, got);
        pclose(pipe);
    }
    return out;
}

std::vector<Buffer> dumped_buffers(int count) {
    std::vector<Buffer> buffers;
    std::istringstream lines(
        output_of(program + " dump " + tune + " --song " + song + " --buffers " + std::to_string(count)));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        Buffer buffer;
        in >> buffer.delta_ms;
        Bytes bytes;
        std::string hex;
        while (in >> hex) bytes.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
        size_t start = 0;
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == 0xF0) start = i;
            if (bytes[i] == 0xF7) buffer.messages.emplace_back(bytes.begin() + start, bytes.begin() + i + 1);
        }
        buffers.push_back(std::move(buffer));
    }
    return buffers;
}

// jackd as the users run it, under a name of its own.
class JackServer {
public:
    explicit JackServer(bool synchronous) : name_("zarvel-timing-" + std::to_string(getpid())) {
        setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        std::fflush(stdout);
        pid_ = fork();
        if (pid_ == 0) {
            std::freopen("/dev/null", "w", stdout);
            std::freopen("/dev/null", "w", stderr);
            if (synchronous) {
                execlp("jackd", "jackd", "-S", "-n", name_.c_str(), "-d", "dummy", "-r", "48000", "-p", "64",
                       static_cast<char*>(nullptr));
            }
            execlp("jackd", "jackd", "-n", name_.c_str(), "-d", "dummy", "-r", "48000", "-p", "64",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~JackServer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }

private:
    std::string name_;
    pid_t pid_ = -1;
};

// The synthesizer's end: two input ports, each message stamped on the steady
// clock at the frame it arrives at.
class Receiver {
public:
    static constexpr int player = 0;
    static constexpr int ideal = 1;

    bool open() {
        jack_set_error_function([](const char*) {});  // the server may still be starting
        for (int attempt = 0; attempt < 100 && !client_; ++attempt) {
            client_ = jack_client_open("timing", JackNoStartServer, nullptr);
            if (!client_) std::this_thread::sleep_for(100ms);
        }
        if (!client_) return false;
        ports_[player] = jack_port_register(client_, "player", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        ports_[ideal] = jack_port_register(client_, "ideal", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        jack_set_xrun_callback(client_, count_xrun, this);
        return ports_[player] && ports_[ideal] && jack_set_process_callback(client_, process, this) == 0 &&
               jack_activate(client_) == 0;
    }
    ~Receiver() {
        if (!client_) return;
        jack_deactivate(client_);
        jack_client_close(client_);
    }

    struct Message {
        int64_t time_us;
        Bytes bytes;
    };
    // Everything that has arrived on the port since the last call.
    std::vector<Message> take(int port) {
        std::vector<Message> got;
        int64_t stamp;
        uint32_t length;
        while (queues_[port]->front(stamp, length)) {
            Bytes bytes(length);
            queues_[port]->pop(bytes.data());
            got.push_back({stamp, std::move(bytes)});
        }
        return got;
    }
    bool overflowed() const { return overflowed_; }
    // Cycles the server could not run on time. In its default (asynchronous)
    // mode a client that misses its cycle misses that cycle's MIDI, or reads
    // it twice, whoever sent it.
    int xruns() const { return xruns_; }

private:
    static int count_xrun(void* arg) {
        ++static_cast<Receiver*>(arg)->xruns_;
        return 0;
    }

    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Receiver*>(arg);
        int64_t jack_now = static_cast<int64_t>(jack_get_time());
        int64_t shift = steady_us() - jack_now;  // JACK's clock is CLOCK_MONOTONIC_RAW
        jack_nframes_t frame_time;
        jack_time_t start, end;
        float period;
        if (jack_get_cycle_times(self->client_, &frame_time, &start, &end, &period) != 0 || end <= start) {
            start = static_cast<jack_time_t>(jack_now);
            end = start + jack_time_t{frames} * 1'000'000 / jack_get_sample_rate(self->client_);
        }
        for (int port = 0; port < 2; ++port) {
            void* buffer = jack_port_get_buffer(self->ports_[port], frames);
            for (uint32_t i = 0, n = jack_midi_get_event_count(buffer); i < n; ++i) {
                jack_midi_event_t event;
                if (jack_midi_event_get(&event, buffer, i) != 0) continue;
                int64_t at = static_cast<int64_t>(start) + shift +
                             static_cast<int64_t>(event.time) * static_cast<int64_t>(end - start) / frames;
                if (!self->queues_[port]->push(at, event.buffer, static_cast<uint32_t>(event.size)))
                    self->overflowed_ = true;
            }
        }
        return 0;
    }

    jack_client_t* client_ = nullptr;
    jack_port_t* ports_[2] = {};
    std::unique_ptr<stream_engine::MessageQueue> queues_[2] = {std::make_unique<stream_engine::MessageQueue>(1 << 22),
                                                               std::make_unique<stream_engine::MessageQueue>(1 << 22)};
    std::atomic<bool> overflowed_{false};
    std::atomic<int> xruns_{0};
};

// The same buffers on absolute deadlines from the start, with the scheduling
// the player's thread gets, through a JACK sink of its own. It runs in a
// process of its own, as the player does: this bench run again with --ideal.
int send_ideally(size_t count) {
    std::vector<Buffer> buffers = dumped_buffers(static_cast<int>(count));
    stream_engine::make_player_thread_timely();
    auto sink = stream_engine::make_jack_sink("timing:ideal");
    if (!sink->stream_opened()) {
        std::printf("the ideal sender could not reach timing:ideal\n");
        return 1;
    }
    int64_t due_us = steady_us() + 50'000;
    for (size_t b = 0; b < count && b < buffers.size(); ++b) {
        due_us += buffers[b].delta_ms * 1000;
        timespec deadline{static_cast<time_t>(due_us / 1'000'000), static_cast<long>(due_us % 1'000'000 * 1000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
        Bytes bytes;
        for (const Bytes& message : buffers[b].messages) bytes.insert(bytes.end(), message.begin(), message.end());
        sink->play(bytes.data(), static_cast<uint32_t>(bytes.size()), static_cast<uint32_t>(buffers[b].delta_ms), 0);
    }
    sink->stream_closed();
    return sink->health().undelivered == 0 ? 0 : 1;
}

pid_t start(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "r", stdin);
        std::freopen("/dev/null", "w", stdout);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

bool ended_well(pid_t pid, const char* what) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    std::printf("%s failed (wait status %d)\n", what, status);
    return false;
}

struct Figures {
    size_t received = 0;
    size_t lost = 0;
    size_t twice = 0;  // received again right after itself
    double p50_ms = 0, p99_ms = 0, max_ms = 0, drift_ms = 0;
};

double percentile(std::vector<int64_t> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return static_cast<double>(values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5)]);
}

// Matches what arrived against the dumped messages, in order: each message is
// due at the sum of the delta times up to its buffer. What matches nothing
// ahead (the mute frames at the player's end) is left out.
Figures measure(const std::vector<Buffer>& buffers, const std::vector<Receiver::Message>& got) {
    struct Due {
        int64_t due_us;
        const Bytes* bytes;
    };
    std::vector<Due> expected;
    int64_t due_us = 0;
    for (const Buffer& buffer : buffers) {
        due_us += buffer.delta_ms * 1000;
        for (const Bytes& message : buffer.messages) expected.push_back({due_us, &message});
    }
    Figures figures;
    std::vector<int64_t> offsets;  // arrival minus due, per matched message
    size_t next = 0;
    for (const Receiver::Message& message : got) {
        if (next > 0 && next < expected.size() && *expected[next].bytes != message.bytes &&
            *expected[next - 1].bytes == message.bytes) {
            ++figures.twice;
            continue;
        }
        size_t found = next;
        while (found < expected.size() && *expected[found].bytes != message.bytes) ++found;
        if (found == expected.size()) continue;
        figures.lost += found - next;
        offsets.push_back(message.time_us - expected[found].due_us);
        next = found + 1;
    }
    figures.received = offsets.size();
    if (offsets.empty()) return figures;
    // On time is the sender's 1st percentile: one message stamped early
    // (JACK's clock estimate jumps after an xrun) would move every figure.
    int64_t on_time = static_cast<int64_t>(percentile(offsets, 0.01));
    std::vector<int64_t> lateness;
    for (int64_t offset : offsets) lateness.push_back(offset - on_time);
    figures.p50_ms = percentile(lateness, 0.5) / 1000;
    figures.p99_ms = percentile(lateness, 0.99) / 1000;
    figures.max_ms = percentile(lateness, 1.0) / 1000;
    // Two seconds of frames (120 at 60 Hz) at each end.
    size_t span = std::min<size_t>(120, lateness.size() / 2);
    std::vector<int64_t> first(lateness.begin(), lateness.begin() + static_cast<long>(span));
    std::vector<int64_t> last(lateness.end() - static_cast<long>(span), lateness.end());
    figures.drift_ms = (percentile(last, 0.5) - percentile(first, 0.5)) / 1000;
    return figures;
}

void print(const char* run, const char* sender, const Figures& f, int xruns) {
    std::printf("%-7s %-7s %7zu %5zu %6zu %8.2f %8.2f %8.2f %+9.2f %6d\n", run, sender, f.received, f.lost, f.twice,
                f.p50_ms, f.p99_ms, f.max_ms, f.drift_ms, xruns);
}

bool timed_run(const char* name, Receiver& receiver, const std::vector<Buffer>& buffers, double seconds, int busy) {
    BusyProcesses load(busy);
    int xruns_before = receiver.xruns();
    char seconds_text[32];
    std::snprintf(seconds_text, sizeof seconds_text, "%g", seconds);
    pid_t player = start({program, "play", tune, "--song", song, "--port", "timing:player", "--seconds", seconds_text});
    // As many buffers as the player sends in its seconds.
    pid_t ideal = start({self_path(), "--ideal", std::to_string(static_cast<int>(seconds * 60))});
    bool ended = ended_well(player, "zarvel-cli play");
    ended = ended_well(ideal, "the ideal sender") && ended;
    std::this_thread::sleep_for(200ms);
    Figures player_figures = measure(buffers, receiver.take(Receiver::player));
    Figures ideal_figures = measure(buffers, receiver.take(Receiver::ideal));
    int xruns = receiver.xruns() - xruns_before;
    print(name, "player", player_figures, xruns);
    print(name, "ideal", ideal_figures, xruns);
    bool met = ended && player_figures.lost == 0 && player_figures.received > 0 &&
               player_figures.p99_ms <= ideal_figures.p99_ms + 1 &&
               std::abs(player_figures.drift_ms - ideal_figures.drift_ms) <= 1;
    return met;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--ideal") return send_ideally(std::strtoul(argv[2], nullptr, 10));
    double seconds = argc > 1 ? std::atof(argv[1]) : 60;
    bool synchronous = argc > 2 && std::string(argv[2]) == "sync";
    if (seconds < 5 || (argc > 2 && !synchronous) || argc > 3) {
        std::printf("usage: jack_timing [seconds per run, at least 5] [sync]\n");
        return 2;
    }
    std::vector<Buffer> buffers = dumped_buffers(static_cast<int>(seconds * 60) + 200);
    if (buffers.empty()) {
        std::printf("zarvel-cli dump gave nothing (%s)\n", program.c_str());
        return 1;
    }
    JackServer server(synchronous);
    Receiver receiver;
    if (!receiver.open()) {
        std::printf("jackd could not be started (scripts/setup.sh installs jackd2)\n");
        return 1;
    }
    std::printf("jack_timing: jackd %s-d dummy -r 48000 -p 64; multisong.sid song 1 (60 Hz), %.0f s a run\n",
                synchronous ? "-S " : "", seconds);
    std::printf("lateness against each sender's 1st percentile; drift: last 2 s against first 2 s\n");
    std::printf("%-7s %-7s %7s %5s %6s %8s %8s %8s %9s %6s\n", "run", "sender", "frames", "lost", "twice", "p50 ms",
                "p99 ms", "max ms", "drift ms", "xruns");
    bool idle = timed_run("idle", receiver, buffers, seconds, 0);
    bool loaded = timed_run("loaded", receiver, buffers, seconds, 2);
    if (receiver.overflowed()) std::printf("the receiver's queue overflowed: the figures miss messages\n");
    std::printf("targets (the player loses nothing; its p99 <= the ideal's + 1 ms; its drift within 1 ms of the "
                "ideal's): idle %s, loaded %s\n",
                idle ? "met" : "MISSED", loaded ? "met" : "MISSED");
    return 0;
}

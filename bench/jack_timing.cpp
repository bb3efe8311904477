// How punctually the player's frames reach a JACK port, beside the simplest
// possible sender in the same run. A private JACK server with the dummy
// driver (48 kHz, 64-frame periods), once asynchronous (jackd's default) and
// once synchronous (-S: every client runs in the one cycle, as under
// PipeWire's JACK layer). Two receiving clients stamp every message on the
// steady clock when their process callback gets it. At the same time:
//   player: zarvel-cli play of a 60 Hz tune that sends a frame every period
//           (delta times 16, 17, 17, ...), to one receiver;
//   plain:  one thread that sleeps until each buffer's absolute due time (the
//           sum of dump's delta times from its start) and hands the buffer's
//           messages to a plain RtMidi JACK output, to the other receiver.
// Each run plays idle, then with two busy processes on the machine.
//
// Every message received is matched in order with dump's messages; its offset
// is arrival minus promise. Per sender: messages matched, lost (skipped in the
// match), twice (a message again right after itself: an asynchronous server
// hands a client's last output on again when the client misses its cycle),
// match), the p99 of |offset - median offset| and the drift (median offset of
// the last tenth of the messages minus that of the first tenth).
// Targets, every run: the player's p99 at most the plain sender's + 1 ms, its
// drift within 1 ms of the plain sender's, no more lost than the plain sender.
//
//   jack_timing [seconds per run, default 8]
//   jack_timing --plain PORT BUFFERS   (the plain sender; the bench starts it)
#include <RtMidi.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "busy_processes.h"
#include "platform/message_queue.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

const std::string program = ZARVEL_CLI_PROGRAM;
const std::string tune = std::string(ZARVEL_TUNES_DIR) + "/multisong.sid";
const std::string song = "1";  // 60 Hz, a frame every period
constexpr int buffers_a_second = 60;

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

// jackd under a name of its own, so a user's server is left alone.
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
            std::vector<const char*> args = {"jackd", "--no-realtime", "-n", name_.c_str()};
            if (synchronous) args.push_back("-S");
            for (const char* arg : {"-d", "dummy", "-r", "48000", "-p", "64"}) args.push_back(arg);
            args.push_back(nullptr);
            execvp("jackd", const_cast<char* const*>(args.data()));
            _exit(127);
        }
    }
    ~JackServer() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

private:
    std::string name_;
    pid_t pid_ = -1;
};

struct Arrival {
    int64_t time_us;
    Bytes bytes;
};

// The synthesizer's end: a client of its own with one input port. Every
// message is stamped on the steady clock when the process callback gets it,
// as a program behind the port would see it.
class Receiver {
public:
    explicit Receiver(std::string name) : name_(std::move(name)) {}
    ~Receiver() {
        if (!client_) return;
        jack_deactivate(client_);
        jack_client_close(client_);
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;

    bool open() {
        jack_set_error_function([](const char*) {});  // the server may still be starting
        for (int attempt = 0; attempt < 100 && !client_; ++attempt) {
            client_ = jack_client_open(name_.c_str(), JackNoStartServer, nullptr);
            if (!client_) std::this_thread::sleep_for(100ms);
        }
        if (!client_) return false;
        port_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        return port_ && jack_set_process_callback(client_, process, this) == 0 && jack_activate(client_) == 0;
    }
    std::string port_name() const { return name_ + ":in"; }

    std::vector<Arrival> take() {
        std::vector<Arrival> got;
        int64_t stamp;
        uint32_t length;
        while (queue_.front(stamp, length)) {
            Bytes bytes(length);
            queue_.pop(bytes.data());
            got.push_back({stamp, std::move(bytes)});
        }
        return got;
    }
    bool overflowed() const { return overflowed_; }

private:
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Receiver*>(arg);
        const int64_t now = steady_us();
        void* buffer = jack_port_get_buffer(self->port_, frames);
        for (uint32_t i = 0, n = jack_midi_get_event_count(buffer); i < n; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0) continue;
            if (!self->queue_.push(now, event.buffer, static_cast<uint32_t>(event.size))) self->overflowed_ = true;
        }
        return 0;
    }

    std::string name_;
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    stream_engine::MessageQueue queue_{size_t{1} << 22};
    std::atomic<bool> overflowed_{false};
};

// The plain sender, in a process of its own as the player is: one thread,
// absolute deadlines from its start, a plain RtMidi JACK output.
int send_plainly(const std::string& port, size_t count) {
    std::vector<Buffer> buffers = dumped_buffers(static_cast<int>(count));
    RtMidiOut out(RtMidi::UNIX_JACK, "plain");
    unsigned index = 0;
    while (index < out.getPortCount() && out.getPortName(index) != port) ++index;
    if (index == out.getPortCount()) {
        std::fprintf(stderr, "the plain sender found no port %s\n", port.c_str());
        return 1;
    }
    out.openPort(index);
    int64_t due_us = steady_us() + 50'000;
    for (size_t b = 0; b < count && b < buffers.size(); ++b) {
        due_us += buffers[b].delta_ms * 1000;
        timespec deadline{static_cast<time_t>(due_us / 1'000'000), static_cast<long>(due_us % 1'000'000 * 1000)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
        }
        for (const Bytes& message : buffers[b].messages) out.sendMessage(message.data(), message.size());
    }
    std::this_thread::sleep_for(100ms);  // RtMidi's JACK output lets go of what is still queued at close
    return 0;
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
    size_t messages = 0;
    size_t lost = 0;
    size_t twice = 0;
    double p99_ms = 0;
    double drift_ms = 0;
};

int64_t median(std::vector<int64_t> values) {
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// Matches what arrived with the dumped messages, in order: each message is
// promised at the sum of the delta times up to its buffer. What matches
// nothing ahead (the player's mute frames at its end) is left out.
Figures measure(const std::vector<Buffer>& buffers, const std::vector<Arrival>& got) {
    struct Promise {
        int64_t due_us;
        const Bytes* bytes;
    };
    std::vector<Promise> promised;
    int64_t due_us = 0;
    for (const Buffer& buffer : buffers) {
        due_us += buffer.delta_ms * 1000;
        for (const Bytes& message : buffer.messages) promised.push_back({due_us, &message});
    }
    Figures figures;
    std::vector<int64_t> offsets;
    // A frame's bytes come round again within a few periods (a held note), so
    // a message that matches nothing near is a stray, not a sign that all the
    // messages up to its next likeness were lost.
    constexpr size_t near = 30;
    size_t next = 0;
    const Bytes* last_matched = nullptr;
    for (const Arrival& arrival : got) {
        bool expected_next = next < promised.size() && *promised[next].bytes == arrival.bytes;
        if (!expected_next && last_matched && *last_matched == arrival.bytes) {
            ++figures.twice;
            continue;
        }
        size_t found = next;
        while (found < promised.size() && found < next + near && *promised[found].bytes != arrival.bytes) ++found;
        if (found == promised.size() || found == next + near) continue;
        figures.lost += found - next;
        offsets.push_back(arrival.time_us - promised[found].due_us);
        last_matched = promised[found].bytes;
        next = found + 1;
    }
    figures.messages = offsets.size();
    if (offsets.empty()) return figures;
    const int64_t middle = median(offsets);
    std::vector<int64_t> spread;
    for (int64_t offset : offsets) spread.push_back(std::abs(offset - middle));
    std::sort(spread.begin(), spread.end());
    figures.p99_ms = static_cast<double>(spread[static_cast<size_t>(0.99 * static_cast<double>(spread.size() - 1))]) / 1000;
    size_t tenth = std::max<size_t>(1, offsets.size() / 10);
    std::vector<int64_t> first(offsets.begin(), offsets.begin() + static_cast<long>(tenth));
    std::vector<int64_t> last(offsets.end() - static_cast<long>(tenth), offsets.end());
    figures.drift_ms = static_cast<double>(median(last) - median(first)) / 1000;
    return figures;
}

struct Run {
    const char* name;
    bool synchronous;
    int busy;
};

struct Outcome {
    Figures player, plain;
    bool ended = false;
    bool met() const {
        return ended && player.messages > 0 && player.p99_ms <= plain.p99_ms + 1 &&
               std::abs(player.drift_ms - plain.drift_ms) <= 1 && player.lost <= plain.lost;
    }
};

Outcome timed_run(const Run& run, const std::vector<Buffer>& buffers, double seconds) {
    Outcome outcome;
    JackServer server(run.synchronous);
    Receiver to_player("timing-player"), to_plain("timing-plain");
    if (!to_player.open() || !to_plain.open()) {
        std::printf("jackd could not be started (scripts/setup.sh installs jackd2)\n");
        return outcome;
    }
    BusyProcesses load(run.busy);
    char seconds_text[32];
    std::snprintf(seconds_text, sizeof seconds_text, "%g", seconds);
    pid_t player =
        start({program, "play", tune, "--song", song, "--port", to_player.port_name(), "--seconds", seconds_text});
    pid_t plain = start({self_path(), "--plain", to_plain.port_name(),
                         std::to_string(static_cast<int>(seconds * buffers_a_second))});
    outcome.ended = ended_well(player, "zarvel-cli play");
    outcome.ended = ended_well(plain, "the plain sender") && outcome.ended;
    std::this_thread::sleep_for(200ms);
    outcome.player = measure(buffers, to_player.take());
    outcome.plain = measure(buffers, to_plain.take());
    if (to_player.overflowed() || to_plain.overflowed())
        std::printf("a receiver's queue overflowed: the figures miss messages\n");
    return outcome;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--plain")
        return send_plainly(argv[2], std::strtoul(argv[3], nullptr, 10));
    double seconds = argc > 1 ? std::atof(argv[1]) : 8;
    if (seconds < 2 || argc > 2) {
        std::printf("usage: jack_timing [seconds per run, at least 2]\n");
        return 2;
    }
    std::vector<Buffer> buffers = dumped_buffers(static_cast<int>(seconds * buffers_a_second) + 200);
    if (buffers.empty()) {
        std::printf("zarvel-cli dump gave nothing (%s)\n", program.c_str());
        return 1;
    }
    std::printf("jack_timing: jackd --no-realtime [-S] -d dummy -r 48000 -p 64; multisong.sid song 1 (60 Hz), "
                "%g s a run\n",
                seconds);
    std::printf("p99: of |offset - median offset|; drift: median offset of the last tenth minus the first tenth\n\n");
    std::printf("| server, machine | player p99 / drift | plain sender p99 / drift | player / plain messages, lost, "
                "twice | targets |\n|---|---|---|---|---|\n");
    const Run runs[] = {{"asynchronous, idle", false, 0},
                        {"asynchronous, busy", false, 2},
                        {"synchronous, idle", true, 0},
                        {"synchronous, busy", true, 2}};
    bool all_met = true;
    for (const Run& run : runs) {
        Outcome o = timed_run(run, buffers, seconds);
        std::printf("| %s | %.1f ms / %+.1f ms | %.1f ms / %+.1f ms | %zu, %zu, %zu / %zu, %zu, %zu | %s |\n",
                    run.name, o.player.p99_ms, o.player.drift_ms, o.plain.p99_ms, o.plain.drift_ms,
                    o.player.messages, o.player.lost, o.player.twice, o.plain.messages, o.plain.lost, o.plain.twice,
                    o.met() ? "met" : "MISSED");
        std::fflush(stdout);
        all_met = all_met && o.met();
    }
    std::printf("\ntargets (player p99 <= plain's + 1 ms; drift within 1 ms of plain's; no more lost): %s\n",
                all_met ? "met in every run" : "MISSED");
    return all_met ? 0 : 1;
}

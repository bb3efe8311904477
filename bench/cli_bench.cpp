// zarvel-cli's figures: how much faster than real time render makes the
// 180 s default of the melody tune (target 2,000x or more), how much faster
// render -j 2 makes every song of a folder of 60 tunes at 3:00 each from a
// song-length database (about three hours of music; target 2,000x or more),
// and the peak memory (max RSS) of play, which must stay under 10 MB. A plain
// program that prints its figures; it asserts nothing.
//
//   cli_bench            render in-process, render of a folder as a process,
//                        then play as a child process: to the built-in
//                        monitor, and to a JACK port when jackd can be started
//                        (a private server with the dummy driver)
//   cli_bench folder     only the render of a folder
#include <RtMidi.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/render_command.h"
#include "collection/tune_md5.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const std::string program = ZARVEL_CLI_PROGRAM;
const std::string melody = std::string(ZARVEL_TUNES_DIR) + "/melody.sid";
constexpr double render_seconds = 180;
constexpr int render_runs = 9;

void bench_render(const char* extension) {
    std::fflush(stdout);
    RenderOptions options;
    options.tune.tune = melody;
    options.output = "/tmp/zarvel-cli-bench-" + std::to_string(getpid()) + extension;
    options.seconds = render_seconds;
    std::vector<double> ms;
    for (int run = 0; run < render_runs; ++run) {
        std::FILE* quiet = std::fopen("/dev/null", "w");
        auto start = Clock::now();
        int code = run_render(options, quiet, stderr);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        std::fclose(quiet);
        if (code != 0) {
            std::printf("render %s: failed with exit code %d\n", extension, code);
            return;
        }
    }
    std::remove(options.output.c_str());
    std::sort(ms.begin(), ms.end());
    double median = ms[ms.size() / 2];
    std::printf("render melody.sid %.0f s to %s: best %.1f ms, median %.1f ms over %d runs: %.0fx real time\n",
                render_seconds, extension, ms.front(), median, render_runs, render_seconds * 1000 / median);
}

// The same as the shell sees it: the whole zarvel-cli process, start-up included.
void bench_render_program() {
    std::string output = "/tmp/zarvel-cli-bench-" + std::to_string(getpid()) + ".mid";
    std::string command = program + " render " + melody + " -o " + output + " >/dev/null";
    std::vector<double> ms;
    for (int run = 0; run < render_runs; ++run) {
        auto start = Clock::now();
        if (std::system(command.c_str()) != 0) {
            std::printf("zarvel-cli render: failed\n");
            return;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::remove(output.c_str());
    std::sort(ms.begin(), ms.end());
    double median = ms[ms.size() / 2];
    std::printf("zarvel-cli render melody.sid -o FILE.mid (%.0f s, whole process): best %.1f ms, median %.1f ms: "
                "%.0fx real time\n",
                render_seconds, ms.front(), median, render_seconds * 1000 / median);
}

// 60 tunes cycled from our test tunes (those whose songs all play: not the
// MUS file, not the one whose play routine stops), every song 3:00 in a
// generated database, rendered by the whole program with -j 2.
void bench_render_folder() {
    namespace fs = std::filesystem;
    constexpr int tunes = 60;
    constexpr int song_seconds = 180;
    const std::vector<std::string> sources = {"demo.sid",      "irq_raster.sid", "irq_rti.sid",  "irq_vector.sid",
                                              "melody.sid",    "melody_ntsc.sid", "melody_v2.sid", "multisong.sid",
                                              "two_sids.sid", "two_sids_first_only.sid"};
    fs::path root = fs::temp_directory_path() / ("zarvel-cli-bench-folder-" + std::to_string(getpid()));
    fs::create_directories(root / "tunes");
    std::ofstream database(root / "Songlengths.md5");
    database << "[Database]\n";
    std::set<std::string> listed;
    int songs = 0;
    for (int i = 0; i < tunes; ++i) {
        const std::string& source = sources[i % sources.size()];
        fs::path tune = root / "tunes" / ("tune_" + std::to_string(i) + "_" + source);
        fs::copy_file(std::string(ZARVEL_TUNES_DIR) + "/" + source, tune);
        std::ifstream in(tune, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        int count = static_cast<uint8_t>(bytes[0x0E]) << 8 | static_cast<uint8_t>(bytes[0x0F]);
        songs += count;
        std::string md5 = md5_hex(md5_of_bytes(bytes.data(), bytes.size()));
        if (!listed.insert(md5).second) continue;
        database << md5 << "=";
        for (int song = 0; song < count; ++song) database << (song ? " 3:00" : "3:00");
        database << "\n";
    }
    database.close();
    std::string command = program + " render " + (root / "tunes").string() + " --all-songs -j 2 -o " +
                          (root / "out").string() + " --songlengths " + (root / "Songlengths.md5").string() +
                          " >/dev/null";
    auto start = Clock::now();
    int code = std::system(command.c_str());
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    fs::remove_all(root);
    if (code != 0) {
        std::printf("render of a folder: failed\n");
        return;
    }
    double music = static_cast<double>(songs) * song_seconds;
    std::printf("render of a folder: %d tunes, %d songs, %.2f h of music, -j 2: %.2f s, %.0fx real time\n", tunes,
                songs, music / 3600, seconds, music / seconds);
}

struct PeakMemory {
    long max_rss_kb = -1;  // getrusage's ru_maxrss: everything resident, shared pages included
    long anon_kb = 0;      // the highest of each part, sampled from /proc every 5 ms
    long file_kb = 0;      // program and libraries
    long shmem_kb = 0;     // shared memory: a JACK client maps the server's segment here
};

long status_field_kb(const std::string& status, const char* field) {
    size_t at = status.find(field);
    return at == std::string::npos ? 0 : std::atol(status.c_str() + at + std::strlen(field));
}

void sample(pid_t pid, PeakMemory& peak) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/status", static_cast<int>(pid));
    std::FILE* file = std::fopen(path, "r");
    if (!file) return;
    std::string status;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) status.append(buffer, got);
    std::fclose(file);
    peak.anon_kb = std::max(peak.anon_kb, status_field_kb(status, "RssAnon:"));
    peak.file_kb = std::max(peak.file_kb, status_field_kb(status, "RssFile:"));
    peak.shmem_kb = std::max(peak.shmem_kb, status_field_kb(status, "RssShmem:"));
}

// Runs args to its end, successfully, or gives max_rss_kb -1.
PeakMemory peak_memory(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);  // the child's freopen would write out this process's buffer too
    PeakMemory peak;
    pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "r", stdin);
        std::freopen("/dev/null", "w", stdout);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    for (;;) {
        pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid) break;
        if (done < 0) return peak;
        sample(pid, peak);
        std::this_thread::sleep_for(5ms);
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) peak.max_rss_kb = usage.ru_maxrss;
    return peak;
}

void print_peak(const char* what, const PeakMemory& peak) {
    if (peak.max_rss_kb < 0) {
        std::printf("play peak memory, %s: the run failed\n", what);
        return;
    }
    std::printf("play peak memory, %s: max RSS %.2f MB; sampled peaks: own %.2f MB (anonymous %.2f, program and "
                "libraries %.2f), shared memory %.2f MB\n",
                what, peak.max_rss_kb / 1024.0, (peak.anon_kb + peak.file_kb) / 1024.0, peak.anon_kb / 1024.0,
                peak.file_kb / 1024.0, peak.shmem_kb / 1024.0);
}

// A private jackd with the dummy driver, and a virtual input port in this
// process for play to send to.
struct JackPort {
    pid_t server = -1;
    std::unique_ptr<RtMidiIn> in;

    JackPort() {
        std::string name = "zarvel-cli-bench-" + std::to_string(getpid());
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        std::fflush(stdout);
        server = fork();
        if (server == 0) {
            std::freopen("/dev/null", "w", stdout);
            std::freopen("/dev/null", "w", stderr);
            execlp("jackd", "jackd", "-S", "--no-realtime", "-n", name.c_str(), "-d", "dummy", "-r", "48000", "-p",
                   "256", static_cast<char*>(nullptr));
            _exit(127);
        }
        std::fflush(stderr);
        int saved = dup(STDERR_FILENO);  // the JACK library's complaints while the server starts
        std::freopen("/dev/null", "w", stderr);
        for (int attempt = 0; attempt < 50 && !in; ++attempt) {
            try {
                auto port = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "zarvel-bench");
                bool trouble = false;
                port->setErrorCallback(
                    [](RtMidiError::Type type, const std::string&, void* flag) {
                        if (type != RtMidiError::DEBUG_WARNING) *static_cast<bool*>(flag) = true;
                    },
                    &trouble);
                port->openVirtualPort("in");
                if (!trouble) in = std::move(port);
            } catch (const RtMidiError&) {
            }
            if (!in) std::this_thread::sleep_for(100ms);
        }
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
    }
    ~JackPort() {
        in.reset();
        if (server > 0) {
            kill(server, SIGTERM);
            waitpid(server, nullptr, 0);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "folder") {
        bench_render_folder();
        return 0;
    }
    bench_render(".mid");
    bench_render(".syx");
    bench_render_program();
    bench_render_folder();

    print_peak("built-in monitor, 3 s", peak_memory({program, "play", melody, "--monitor", "--seconds", "3"}));
    JackPort jack;
    if (!jack.in) {
        std::printf("play peak memory, JACK port: not measured (jackd could not be started)\n");
        return 0;
    }
    // The JACK library maps the server's whole shared segment into every
    // client (about 100 MB with jackd's default port limit); it is the
    // server's memory, counted again in each client's RSS.
    print_peak("JACK port, 3 s", peak_memory({program, "play", melody, "--port", "zarvel-bench:in", "--seconds", "3"}));
    return 0;
}

#include "cli/play_command.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

#include "cli/exit_codes.h"
#include "cli/midi_ports.h"
#include "cli/play_keys.h"
#include "cli/sid_monitor.h"
#include "cli/status_line.h"
#include "cli/terminal.h"
#include "cli/terminal_panel.h"
#include "midi/stream_lock.h"
#include "midi/stream_transport.h"
#include "platform/player_thread_priority.h"
#include "platform/stream_engine.h"
#include "player/commands.h"
#include "player/panel.h"
#include "player/playback_controller.h"
#include "player/playback_stop.h"
#include "player/player_state.h"
#include "player/tune_info.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

WindowHandle const no_window = nullptr;
constexpr int key_wait_ms = 50;          // how often the status line can change
constexpr auto start_timeout = 5s;  // open, reset frame, init, first buffer
// The mute frames wait behind at most the 16 buffers of the ring, each a
// period long, and a period is 333 ms at the longest (15 Hz at 20 %).
constexpr auto silence_timeout = 6s;

volatile std::sig_atomic_t quit_signal = 0;
volatile std::sig_atomic_t suspend_signal = 0;
void note_quit_signal(int signal) { quit_signal = signal; }
void note_suspend_signal(int) { suspend_signal = 1; }

void catch_signal(int signal, void (*handler)(int)) {
    // A signal the program was started with ignored (SIGHUP under nohup)
    // stays ignored.
    struct sigaction before {};
    if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: the key wait returns at once and the loop sees the flag.
    sigaction(signal, &action, nullptr);
}

void catch_signals() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) catch_signal(signal, note_quit_signal);
    catch_signal(SIGTSTP, note_suspend_signal);
    // A status line written to a closed pipe must not end the process unmuted.
    std::signal(SIGPIPE, SIG_IGN);
}

// The playback worker for the length of the command: a thread running
// playback_worker_while, as the window's worker runs playback_worker.
class Worker {
public:
    Worker() { start(); }
    ~Worker() { stop(); }
    void start() {
        if (thread_.joinable()) return;
        running_ = true;
        thread_ = std::thread([this] { playback_worker_while(no_window, running_); });
    }
    void stop() {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }

private:
    std::atomic<bool> running_{true};
    std::thread thread_;
};

// Ctrl-Z's mute: a pause, as the space key makes it, then the wait until its
// mute frames have been played, since the close that follows hands back
// every buffer the stream still holds unplayed. A start or resume the worker
// has yet to take is let begin first, then paused. Returns true when it
// paused playback.
bool pause_until_muted() {
    bool paused = false;
    auto give_up = Clock::now() + silence_timeout;
    while (Clock::now() < give_up) {
        if (!player_state.start_request && !player_state.resume_request) {
            if (playback_on() && press_play()) {
                panel_set_play_button_text(no_window, "Play");
                paused = true;
            }
            if (!stream_is_open() || stream_broken()) break;
            if (!player_state.playing && player_state.silenced && !stream_holds_messages()) break;
        }
        std::this_thread::sleep_for(5ms);
    }
    return paused;
}

void print_player_thread(std::FILE* out) {
    using Scheduling = stream_engine::Timeliness::Scheduling;
    stream_engine::Timeliness got = stream_engine::player_thread_timeliness();
    char scheduling[96];
    if (got.scheduling == Scheduling::real_time || got.scheduling == Scheduling::real_time_from_rtkit) {
        std::snprintf(scheduling, sizeof scheduling, "real-time scheduling (SCHED_FIFO, priority %d%s)", got.priority,
                      got.scheduling == Scheduling::real_time_from_rtkit ? ", from RealtimeKit" : "");
    } else {
        std::snprintf(scheduling, sizeof scheduling, "normal priority (real-time scheduling was refused)");
    }
    std::fprintf(out, "zarvel-cli: player thread: %s; memory %s\n", scheduling,
                 got.memory_locked ? "locked" : "not locked (refused)");
}

class PlaySession {
public:
    PlaySession(const PlayOptions& options, std::shared_ptr<SidMonitor> monitor, std::string port_name)
        : options_(options), monitor_(std::move(monitor)), port_name_(std::move(port_name)),
          interactive_(isatty(STDIN_FILENO)),
          keys_(STDIN_FILENO) {
        printable_text(tune_info.name, sizeof tune_info.name, name_, sizeof name_);
    }

    // From Play to the end; returns the exit code.
    int run(Worker& worker);

private:
    bool start();
    void show();
    void show_log_line(double seconds);
    void finish(Worker& worker, int& result);
    void suspend(Worker& worker);
    bool playing_stopped_by_itself() const;
    bool port_went_away();

    const PlayOptions& options_;
    std::shared_ptr<SidMonitor> monitor_;  // null when a port plays
    std::string port_name_;                // empty for the monitor
    bool port_lost_ = false;
    bool interactive_;
    RawKeys keys_;
    LineBlock block_{stdout};
    char name_[40];
    char note_[96] = "";
    bool expect_playing_ = false;  // playback on, as the keys left it
    double elapsed_ = 0;  // playing time of the current song, in seconds
    Clock::time_point began_ = Clock::now();
};

bool PlaySession::playing_stopped_by_itself() const {
    // A play call that never returned turns playback off behind the keys'
    // back; a start asked for since then clears the time again.
    return expect_playing_ && !playback_on() && player_state.play_stopped_at_ms >= 0;
}

bool PlaySession::port_went_away() {
    if (port_name_.empty()) return false;
    port_lost_ = stream_engine::port_health(player_state.midi_out_device).lost;
    return port_lost_;
}

bool PlaySession::start() {
    if (const char* text = press_play()) panel_set_play_button_text(no_window, text);
    expect_playing_ = playback_on();
    auto give_up = Clock::now() + start_timeout;
    while (!player_state.playing && !quit_signal && Clock::now() < give_up) {
        PanelTexts texts = read_terminal_panel();
        if (texts.warning[0] != '\0') return false;
        std::this_thread::sleep_for(5ms);
    }
    return player_state.playing || quit_signal;
}

void PlaySession::show() {
    PanelTexts texts = read_terminal_panel();
    char status[256];
    StatusFields fields{playback_state_name(player_state.playing, player_state.paused),
                        name_,
                        player_state.current_song,
                        tune_info.songs,
                        texts.rate_label,
                        player_state.speed_percent,
                        player_state.filter_percent,
                        {player_state.voice_enabled[0], player_state.voice_enabled[1], player_state.voice_enabled[2]},
                        static_cast<int64_t>(elapsed_)};
    format_status_line(fields, status, sizeof status);

    const char* lines[2 + monitor_line_count];
    int count = 0;
    lines[count++] = status;
    lines[count++] = note_[0] != '\0' ? note_ : key_help;
    MonitorLines monitor_lines;
    if (monitor_) {
        format_monitor(monitor_->registers(), monitor_lines);
        for (auto& line : monitor_lines) lines[count++] = line;
    }
    block_.draw(lines, count, terminal_columns(STDOUT_FILENO));
}

void PlaySession::show_log_line(double seconds) {
    char line[256];
    format_monitor_line(monitor_->registers(), line, sizeof line);
    long whole = static_cast<long>(seconds);
    std::printf("%ld:%02ld  %s\n", whole / 60, whole % 60, line);
    std::fflush(stdout);
}

void PlaySession::finish(Worker& worker, int& result) {
    if (port_lost_) {
        // A port that went away takes nothing more, the mute frames included.
        worker.stop();
        close_midi_stream();
    } else {
        close_playback(no_window);
        worker.stop();
    }
    if (!port_lost_ && !port_name_.empty()) {
        // Counted once the stream has closed, so the mute frames count too.
        uint64_t undelivered = stream_engine::port_health(player_state.midi_out_device).undelivered;
        if (undelivered > 0) {
            std::fprintf(stderr, "zarvel-cli: %llu MIDI messages never reached %s\n",
                         static_cast<unsigned long long>(undelivered), port_name_.c_str());
            result = EXIT_DEVICE_FAILED;
        }
    }
    // The monitor as the mute frames left it.
    if (interactive_) {
        show();
        block_.finish();
    } else if (monitor_) {
        show_log_line(std::chrono::duration<double>(Clock::now() - began_).count());
    }
    keys_.restore();
}

// Ctrl-Z (SIGTSTP): the mute frames, as a pause sends them, then the stream
// closed, which lets go of the MIDI port: a JACK client that stops answering
// while the process is stopped would stall the whole JACK server. The
// terminal is given back, and the process stops. fg (SIGCONT) takes the
// terminal again and resumes what the suspend paused; the resume opens the
// stream anew and sends the restore frame. A tune that was stopped or paused
// stays so, and its next Play opens the stream.
void PlaySession::suspend(Worker& worker) {
    suspend_signal = 0;
    bool paused = pause_until_muted();
    worker.stop();
    close_midi_stream();
    if (interactive_) {
        show();
        block_.finish();
    }
    keys_.restore();

    std::signal(SIGTSTP, SIG_DFL);
    raise(SIGTSTP);
    // Continued. Continued in the background, the terminal's modes cannot
    // be set: SIGTTOU stops the process again, still silent, until fg.
    catch_signal(SIGTSTP, note_suspend_signal);
    if (interactive_) keys_.enter();
    worker.start();
    if (paused) {
        if (const char* text = press_play()) panel_set_play_button_text(no_window, text);
    }
    expect_playing_ = playback_on();
}

int PlaySession::run(Worker& worker) {
    if (interactive_ && !keys_.active()) interactive_ = false;
    if (!start()) {
        char warning[96];
        if (take_terminal_warning(warning)) {
            std::fprintf(stderr, "zarvel-cli: %s\n", warning);
        } else {
            std::fputs("zarvel-cli: playback did not start\n", stderr);
        }
        int result = EXIT_DEVICE_FAILED;
        finish(worker, result);
        return result;
    }
    if (options_.verbose) print_player_thread(stderr);

    int result = EXIT_OK;
    began_ = Clock::now();
    Clock::time_point last = began_;
    double next_log = 1;
    for (;;) {
        if (quit_signal) break;
        if (suspend_signal) {
            // The time stopped counts neither as playing time nor against --seconds.
            Clock::time_point stopped = Clock::now();
            suspend(worker);
            Clock::duration away = Clock::now() - stopped;
            began_ += away;
            last += away;
        }
        Clock::time_point now = Clock::now();
        double since_start = std::chrono::duration<double>(now - began_).count();
        if (player_state.playing) elapsed_ += std::chrono::duration<double>(now - last).count();
        last = now;

        if (options_.seconds > 0 && since_start >= options_.seconds) break;
        char warning[96];
        if (take_terminal_warning(warning)) {
            if (interactive_) block_.finish();
            std::fprintf(stderr, "zarvel-cli: %s\n", warning);
            result = EXIT_DEVICE_FAILED;
            break;
        }
        if (port_went_away()) {
            if (interactive_) block_.finish();
            std::fprintf(stderr, "zarvel-cli: the MIDI port went away: %s\n", port_name_.c_str());
            result = EXIT_DEVICE_FAILED;
            break;
        }
        if (playing_stopped_by_itself()) {
            expect_playing_ = false;
            if (!interactive_) {
                report_playback_stop(stderr, player_state.play_stopped_at_ms);
                result = EXIT_PLAYBACK_STOPPED;
                break;
            }
            std::snprintf(note_, sizeof note_, "%s (space starts again)",
                          playback_stop_text(player_state.play_stopped_at_ms).c_str());
        }

        if (!interactive_) {
            if (monitor_ && since_start >= next_log) {
                show_log_line(since_start);
                next_log += 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(key_wait_ms));
            continue;
        }
        show();
        Key key;
        if (!keys_.read_key(key_wait_ms, key)) continue;
        KeyResult pressed = press_key(key, tune_info.songs);
        if (pressed == KeyResult::quit) break;
        if (pressed == KeyResult::song_started) {
            elapsed_ = 0;
            note_[0] = '\0';
        }
        expect_playing_ = playback_on();
    }
    finish(worker, result);
    return result;
}

}  // namespace

void add_play_command(CLI::App& app, PlayOptions& options) {
    CLI::App* play = app.add_subcommand(
        "play", "Play a tune in real time to a MIDI port (or, with none, to the built-in monitor). On a terminal: "
                "space play/pause, s stop, n/p song, 1 2 3 voices, +/- speed, [/] filter, q quit");
    add_tune_options(*play, options.tune);
    play->add_option("--port", options.port, "MIDI output port: its index or (part of) its name, as ports lists "
                                             "them (default: the first)");
    add_sound_options(*play, options.tune);
    play->add_option("--seconds", options.seconds, "stop after this many seconds (default: until quit or killed)")
        ->type_name("S")
        ->check(seconds_validator(10000000));
    play->add_flag("--monitor", options.monitor, "play to the built-in monitor even when a MIDI port exists")
        ->excludes("--port");
    play->add_flag("--verbose", options.verbose,
                   "say whether the player thread got real-time scheduling and locked memory");
}

int run_play(const PlayOptions& options) {
    catch_signals();
    install_terminal_panel();
    reset_stream_ring();
    stream_engine::set_clock(stream_engine::ClockKind::real_time);

    Worker worker;  // the load below hands its stop request to the worker
    int code = load_command_tune(options.tune, [](const char* path) { return load_tune_file(path); }, stderr);
    if (code != EXIT_OK) return code;
    apply_sound_options(options.tune);
    choose_song(chosen_song(options.tune));  // not playing: it only selects

    std::shared_ptr<SidMonitor> monitor;
    std::string port_name;
    if (!options.monitor) {
        MidiPorts ports = use_midi_ports();
        if (!options.port.empty()) {
            std::string why;
            int device = find_port(options.port, ports.names, why);
            if (device < 0) {
                std::fprintf(stderr, "zarvel-cli: --port %s: %s\n", options.port.c_str(), why.c_str());
                return EXIT_DEVICE_FAILED;
            }
            player_state.midi_out_device = device;
        } else if (ports.names.empty()) {
            std::fputs("zarvel-cli: no MIDI output port: playing to the built-in monitor\n", stderr);
        } else {
            player_state.midi_out_device = 0;
        }
        if (ports.names.empty()) {
            monitor = std::make_shared<SidMonitor>();
        } else {
            port_name = ports.names[player_state.midi_out_device];
            if (!isatty(STDIN_FILENO)) {
                // No status line says where the sound goes; this line does.
                std::printf("Playing to MIDI port %d: %s\n", player_state.midi_out_device.load(), port_name.c_str());
                std::fflush(stdout);
            }
        }
    } else {
        monitor = std::make_shared<SidMonitor>();
    }
    if (monitor) {
        stream_engine::set_devices({{"Zarvel monitor", monitor}});
        player_state.midi_out_device = 0;
    }

    PlaySession session(options, monitor, port_name);
    return session.run(worker);
}

#include "cli/play_command.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#include "cli/exit_codes.h"
#include "cli/latin1_text.h"
#include "cli/list_player.h"
#include "cli/midi_ports.h"
#include "cli/play_keys.h"
#include "cli/play_list.h"
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
// period long, and a period is 333 ms at the longest (latch $FFFF at 20 %).
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
    PlaySession(const PlayOptions& options, ListPlayer& list, std::shared_ptr<SidMonitor> monitor,
                std::string port_name)
        : options_(options), list_(list), monitor_(std::move(monitor)), port_name_(std::move(port_name)),
          interactive_(isatty(STDIN_FILENO)),
          keys_(STDIN_FILENO) {}

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
    bool press_list_key(const Key& key);
    void song_changed();
    void catch_list_messages();
    void take_list_messages();
    std::string stil_line() const;

    const PlayOptions& options_;
    ListPlayer& list_;
    std::shared_ptr<SidMonitor> monitor_;  // null when a port plays
    std::string port_name_;                // empty for the monitor
    bool port_lost_ = false;
    bool interactive_;
    RawKeys keys_;
    LineBlock block_{stdout};
    char note_[96] = "";
    // The list's messages while the status block is drawn: shown as its note,
    // since a line written into the block would be drawn over.
    std::FILE* list_messages_ = nullptr;
    char* list_messages_text_ = nullptr;
    size_t list_messages_size_ = 0;
    bool expect_playing_ = false;  // playback on, as the keys left it
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

std::string PlaySession::stil_line() const {
    if (!list_.record().stil) return "";
    const std::vector<StilField>& fields = list_.record().stil->song_fields(player_state.current_song);
    std::string line;
    for (const char* name : {"TITLE", "ARTIST"}) {
        std::string_view text = stil_field(fields, name);
        if (text.empty()) continue;
        if (!line.empty()) line += "  ";
        // A field's continuation lines go on one line here.
        std::string joined(text);
        for (char& c : joined)
            if (c == '\n') c = ' ';
        line += std::string(name) + ": " + latin1_to_terminal_text(joined);
    }
    return line;
}

void PlaySession::show() {
    PanelTexts texts = read_terminal_panel();
    std::string name = latin1_to_terminal_text(tune_text(tune_info.name));
    int32_t song_time_ms = player_state.song_time_ms;
    char status[256];
    StatusFields fields{playback_state_name(player_state.playing, player_state.paused),
                        name.c_str(),
                        player_state.current_song,
                        tune_info.songs,
                        texts.rate_label,
                        player_state.speed_percent,
                        player_state.filter_percent,
                        {player_state.voice_enabled[0], player_state.voice_enabled[1], player_state.voice_enabled[2]},
                        song_time_ms / 1000};
    format_status_line(fields, status, sizeof status);
    int columns = terminal_columns(STDOUT_FILENO);
    ListLineFields list_fields{list_.file_index() + 1,
                               list_.file_count(),
                               player_state.current_song,
                               tune_info.songs,
                               song_time_ms,
                               list_.length_ms(player_state.current_song),
                               name.c_str(),
                               port_name_.empty() ? "monitor" : port_name_.c_str()};
    std::string list_line = format_list_line(list_fields, columns > 0 ? static_cast<size_t>(columns) : 80);
    std::string stil = stil_line();

    const char* lines[4 + monitor_line_count];
    int count = 0;
    lines[count++] = list_line.c_str();
    lines[count++] = status;
    if (!stil.empty()) lines[count++] = stil.c_str();
    lines[count++] = note_[0] != '\0' ? note_ : key_help;
    MonitorLines monitor_lines;
    if (monitor_) {
        format_monitor(monitor_->registers(), monitor_lines);
        for (auto& line : monitor_lines) lines[count++] = line;
    }
    block_.draw(lines, count, columns);
}

// Without a terminal, a list of many songs says what plays as it changes.
void PlaySession::song_changed() {
    note_[0] = '\0';
    if (interactive_ || !list_.many_songs()) return;
    int32_t song = player_state.current_song;
    std::string name = latin1_to_terminal_text(tune_text(tune_info.name));
    std::printf("file %d/%d  song %d/%u  length %s  %s  %s", list_.file_index() + 1, list_.file_count(), song,
                tune_info.songs, format_song_time(list_.length_ms(song)).c_str(), name.c_str(), list_.file().c_str());
    std::string stil = stil_line();
    if (!stil.empty()) std::printf("  %s", stil.c_str());
    std::putchar('\n');
    std::fflush(stdout);
}

void PlaySession::catch_list_messages() {
    if (!interactive_) return;
    list_messages_ = open_memstream(&list_messages_text_, &list_messages_size_);
    if (list_messages_) list_.report_to(list_messages_);
}

void PlaySession::take_list_messages() {
    if (!list_messages_) return;
    std::fclose(list_messages_);
    list_messages_ = nullptr;
    std::string text(list_messages_text_, list_messages_size_);
    std::free(list_messages_text_);
    list_messages_text_ = nullptr;
    list_.report_to(stderr);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    size_t line = text.rfind('\n');
    if (!text.empty()) std::snprintf(note_, sizeof note_, "%s", text.c_str() + (line == std::string::npos ? 0 : line + 1));
    catch_list_messages();
}

// The keys that move through the list: the arrows by song, N and P by file.
bool PlaySession::press_list_key(const Key& key) {
    bool moved = false;
    if (key.name == KeyName::right && key.modifiers == 0) moved = list_.step_song(+1);
    else if (key.name == KeyName::left && key.modifiers == 0) moved = list_.step_song(-1);
    else if (key.name == KeyName::character && key.modifiers == 0 && key.character == 'N') moved = list_.step_file(+1);
    else if (key.name == KeyName::character && key.modifiers == 0 && key.character == 'P') moved = list_.step_file(-1);
    else return false;
    if (moved) {
        panel_set_play_button_text(no_window, "Pause");
        song_changed();
    }
    take_list_messages();
    expect_playing_ = playback_on();
    return true;
}

void PlaySession::show_log_line(double seconds) {
    char line[256];
    format_monitor_line(monitor_->registers(), line, sizeof line);
    long whole = static_cast<long>(seconds);
    std::printf("%ld:%02ld  %s\n", whole / 60, whole % 60, line);
    std::fflush(stdout);
}

void PlaySession::finish(Worker& worker, int& result) {
    take_list_messages();
    if (list_messages_) {
        std::fclose(list_messages_);
        std::free(list_messages_text_);
        list_messages_ = nullptr;
        list_.report_to(stderr);
    }
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
    catch_list_messages();
    song_changed();
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
        last = now;
        if (take_song_end()) {
            // Past the last song: the controller has sent the mute frames.
            bool more = list_.advance();
            take_list_messages();
            if (!more) break;
            song_changed();
            take_list_messages();
        }

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
        if (press_list_key(key)) continue;
        KeyResult pressed = press_key(key, tune_info.songs);
        if (pressed == KeyResult::quit) break;
        if (pressed == KeyResult::song_started) note_[0] = '\0';
        expect_playing_ = playback_on();
    }
    finish(worker, result);
    return result;
}

}  // namespace

void add_play_command(CLI::App& app, PlayOptions& options) {
    CLI::App* play = app.add_subcommand(
        "play", "Play tunes, folders and .m3u lists in real time to a MIDI port (or, with none, to the built-in "
                "monitor), each song for its length, then the next. On a terminal: space play/pause, s stop, n/p "
                "song, right/left the list's next/previous song, N/P file, 1 2 3 voices, +/- speed, [/] filter, q quit");
    play->add_option("TUNE", options.tunes, "PSID files, folders of them (searched at any depth) or .m3u lists")
        ->required();
    play->add_option("--song", options.tune.song, "song to start with, 1-based (default: the tune's start song)")
        ->check(whole_number_validator(1, 65535));
    play->add_flag("--all-songs", options.all_songs, "play every song of each tune, not only its start song");
    play->add_flag("--loop", options.loop, "after the last song, the list from the start again");
    play->add_flag("--shuffle", options.shuffle, "play the list's files in a random order");
    play->add_option("--default-length", options.default_length,
                     "how long a song of unknown length plays in a list of more than one song")
        ->type_name("M:SS")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                int32_t ms = 0;
                return parse_length_option(text, ms) ? "" : text + " is no length; give m:ss, such as 3:00, or seconds";
            },
            "M:SS"))
        ->capture_default_str();
    add_collection_options(*play, options.collection);
    play->add_option("--port", options.port, "MIDI output port: its index or (part of) its name, as ports lists "
                                             "them (default: the first)");
    add_sound_options(*play, options.tune);
    play->add_option("--seconds", options.seconds,
                     "stop after this many seconds (default: at the end of the list, or until quit or killed)")
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

    std::vector<std::string> files =
        build_play_list(options.tunes.empty() ? std::vector<std::string>{options.tune.tune} : options.tunes, stderr);
    if (files.empty()) {
        std::fputs("zarvel-cli: nothing to play\n", stderr);
        return EXIT_LOAD_FAILED;
    }
    if (options.shuffle) std::shuffle(files.begin(), files.end(), std::mt19937(std::random_device()()));
    ListSettings settings;
    settings.all_songs = options.all_songs;
    settings.loop = options.loop;
    settings.first_song = options.tune.song;
    settings.collection = options.collection;
    parse_length_option(options.default_length, settings.default_length_ms);

    Worker worker;  // the loads below hand their stop requests to the worker
    ListPlayer list(files, settings, stderr);
    // The scales first: a start that follows the load at once already plays at them.
    apply_sound_options(options.tune);
    if (!list.open()) return EXIT_LOAD_FAILED;  // each load failure is reported
    if (int code = check_song(options.tune.song, stderr); code != EXIT_OK) return code;

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

    PlaySession session(options, list, monitor, port_name);
    return session.run(worker);
}

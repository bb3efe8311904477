#include "cli/play_command.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

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
#include "cli/port_per_sid.h"
#include "headless/stream_budget.h"
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
    std::string note_;  // instead of nothing: what just happened
    bool all_keys_ = false;  // ? pressed: the help shows every key
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
    apply_start_option(options_.tune);
    expect_playing_ = playback_on();
    auto give_up = Clock::now() + start_timeout;
    // A first tune whose init does not return stops at once, and a --start at
    // or past the song's length ends it as soon as it starts: both are starts,
    // and the list moves on to the next song.
    auto started = [] {
        return player_state.playing || player_state.play_stopped_at_ms >= 0 || player_state.song_ended;
    };
    while (!started() && !quit_signal && Clock::now() < give_up) {
        PanelTexts texts = read_terminal_panel();
        if (texts.warning[0] != '\0') return false;
        std::this_thread::sleep_for(5ms);
    }
    return started() || quit_signal;
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
    // The block's lines are cut one short of the width, so that none wraps.
    int columns = terminal_columns(STDOUT_FILENO);
    size_t width = columns > 1 ? static_cast<size_t>(columns - 1) : 1;
    StatusFields fields{playback_state_name(player_state.playing, player_state.paused),
                        name.c_str(),
                        player_state.current_song,
                        tune_info.songs,
                        texts.rate_label,
                        player_state.speed_percent,
                        player_state.filter_percent,
                        {player_state.voice_enabled[0], player_state.voice_enabled[1], player_state.voice_enabled[2]},
                        song_time_ms / 1000};
    ListLineFields list_fields{list_.file_index() + 1,
                               list_.file_count(),
                               player_state.current_song,
                               tune_info.songs,
                               song_time_ms,
                               list_.length_ms(player_state.current_song),
                               name.c_str(),
                               port_name_.empty() ? "monitor" : port_name_.c_str()};

    // Every line with its rank: on a terminal too short for all of them the
    // lowest go first, so that the block never scrolls away.
    struct Line {
        std::string text;
        int rank;
    };
    std::vector<Line> lines;
    lines.push_back({format_list_line(list_fields, width), 9});
    lines.push_back({fit_status_line(fields, width), 10});
    std::string stil = stil_line();
    if (!stil.empty()) lines.push_back({stil, 4});
    if (!note_.empty()) lines.push_back({note_, 8});
    std::vector<std::string> help = key_help_lines(width, all_keys_ ? key_help_table.size() : 2);
    for (size_t i = 0; i < help.size(); ++i) lines.push_back({help[i], i == 0 ? 7 : all_keys_ ? 6 : 3});
    if (monitor_) {
        MonitorLines monitor_lines;
        format_monitor(monitor_->registers(), monitor_lines);
        for (auto& line : monitor_lines) lines.push_back({line, 5});
    }
    size_t rows = static_cast<size_t>(terminal_rows(STDOUT_FILENO));
    while (lines.size() > rows && lines.size() > 1) {
        auto lowest = lines.begin();
        for (auto line = lines.begin(); line != lines.end(); ++line)
            if (line->rank < lowest->rank) lowest = line;
        lines.erase(lowest);
    }
    std::vector<const char*> texts_drawn;
    for (const Line& line : lines) texts_drawn.push_back(line.text.c_str());
    block_.draw(texts_drawn.data(), static_cast<int>(texts_drawn.size()), columns);
}

// Without a terminal, a list of many songs says what plays as it changes.
void PlaySession::song_changed() {
    note_.clear();
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
    if (!text.empty()) note_ = text.substr(line == std::string::npos ? 0 : line + 1);
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
            std::fprintf(stderr, "zarvel-cli: %s: playback did not start\n", list_.file().c_str());
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
            // A broken tune is told of and passed over, as a file that does
            // not load is: one bad rip never ends an evening's list.
            expect_playing_ = false;
            std::string text = playback_stop_text(player_state.play_stopped_at_ms, player_state.stopped_in_init != 0,
                                                  list_.file());
            list_.note_unplayable();
            if (!interactive_) std::fprintf(stderr, "zarvel-cli: %s\n", text.c_str());
            bool more = list_.unplayable_count() < list_.file_count() && list_.advance();
            take_list_messages();
            if (!more) {
                note_ = text;  // the last screen shows it
                break;
            }
            song_changed();
            take_list_messages();
            note_ = text;
            expect_playing_ = playback_on();
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
        if (pressed == KeyResult::song_started) note_.clear();
        if (pressed == KeyResult::show_keys) all_keys_ = !all_keys_;
        expect_playing_ = playback_on();
    }
    finish(worker, result);
    if (list_.unplayable_count() > 0) {
        if (list_.file_count() > 1)
            std::fprintf(stderr, "zarvel-cli: %d of %d tunes could not be played\n", list_.unplayable_count(),
                         list_.file_count());
        if (result == EXIT_OK) result = EXIT_PLAYBACK_STOPPED;
    }
    // Ended as an interrupted program ends, after the mute frames.
    if (quit_signal) result = 128 + quit_signal;
    return result;
}

}  // namespace

void add_play_command(CLI::App& app, PlayOptions& options) {
    std::string keys;
    for (const KeyHelp& key : key_help_table) keys += std::string(keys.empty() ? "" : ", ") + key.keys + " " + key.action;
    CLI::App* play = app.add_subcommand(
        "play", "Play tunes, folders and .m3u lists in real time to a MIDI port (or, with none, to the built-in "
                "monitor), each song for its length, then the next. On a terminal: " + keys);
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
            ""))
        ->capture_default_str();
    add_collection_options(*play, options.collection);
    play->add_option("--port", options.ports, "MIDI output port: its index or (part of) its name in any letter "
                                              "case, as ports lists them (default: the first that is not ALSA's "
                                              "Midi Through); with --extra-sids ports once for each SID")
        ->type_name("PORT")
        ->expected(1)
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    add_start_option(*play, options.tune, "the first song");
    add_sound_options(*play, options.tune, true);
    play->add_option("--seconds", options.seconds,
                     "stop after this long, in seconds or m:ss (default: at the end of the list, or until quit or "
                     "killed)")
        ->type_name("SECONDS")
        ->transform(seconds_validator(10000000));
    play->add_flag("--monitor", options.monitor, "play to the built-in monitor even when a MIDI port exists")
        ->excludes("--port");
    play->add_option("--link-rate", options.link_rate,
                     "bytes per second the MIDI link carries (3125: 5-pin MIDI; 0: no limit); a tune that needs "
                     "more is told")
        ->type_name("BYTES_PER_S")
        ->check(whole_number_validator(0, 100000000))
        ->capture_default_str();
    play->add_flag("--verbose", options.verbose,
                   "say whether the player thread got real-time scheduling and locked memory");
}

namespace {

std::string joined_port_names(const std::vector<int>& devices, const std::vector<std::string>& names) {
    std::string joined;
    for (int device : devices) joined += (joined.empty() ? "" : " + ") + names[static_cast<size_t>(device)];
    return joined;
}

// Before anything of the real-time player is set up: the measure drives a
// headless player of its own over the process's player state.
void warn_above_link_rate(const PlayOptions& options, const std::vector<std::string>& files) {
    if (options.link_rate <= 0 || files.empty()) return;
    StreamBudget budget;
    // With a port per SID each port carries one chip: the first chip's
    // stream is the figure (the others' are alike in kind).
    int32_t extra_sids = options.tune.extra_sids == "frames" ? EXTRA_SIDS_FRAMES : EXTRA_SIDS_OFF;
    if (!measure_stream_budget(files.front(), options.tune.song, extra_sids, budget)) return;
    double peak = options.tune.changes_only ? budget.changes_only.peak : budget.sent.peak;
    if (peak <= static_cast<double>(options.link_rate)) return;
    std::fprintf(stderr, "zarvel-cli: %s needs up to %ld bytes/s, more than the link's %ld: its frames will queue "
                 "and the tune drag",
                 files.front().c_str(), std::lround(peak), options.link_rate);
    if (!options.tune.changes_only && budget.changes_only.peak <= static_cast<double>(options.link_rate))
        std::fprintf(stderr, "; --changes-only needs up to %ld and fits", std::lround(budget.changes_only.peak));
    std::fputc('\n', stderr);
}

// A device beside the system's that hands each SID's frames to its own port.
int add_port_per_sid_device(const std::vector<int>& devices, const std::vector<std::string>& names) {
    std::vector<stream_engine::Device> list = stream_engine::devices();
    std::vector<std::shared_ptr<stream_engine::MidiSink>> sinks;
    for (int device : devices) sinks.push_back(list[static_cast<size_t>(device)].sink);
    list.push_back({joined_port_names(devices, names), std::make_shared<PortPerSidSink>(std::move(sinks))});
    stream_engine::set_devices(list);
    return static_cast<int>(list.size()) - 1;
}

}  // namespace

int run_play(const PlayOptions& options) {
    if ((options.tune.extra_sids == "ports") != (options.ports.size() > 1)) {
        std::fputs(options.ports.size() > 1
                       ? "zarvel-cli: --port is given once per SID only with --extra-sids ports\n"
                       : "zarvel-cli: --extra-sids ports takes --port once for each SID, the first SID's first\n",
                   stderr);
        return EXIT_USAGE;
    }
    std::vector<std::string> files =
        build_play_list(options.tunes.empty() ? std::vector<std::string>{options.tune.tune} : options.tunes, stderr);
    warn_above_link_rate(options, files);
    catch_signals();
    install_terminal_panel();
    reset_stream_ring();
    stream_engine::set_clock(stream_engine::ClockKind::real_time);

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
        if (!options.ports.empty()) {
            std::vector<int> devices;
            for (const std::string& wanted : options.ports) {
                std::string why;
                int device = find_port(wanted, ports.names, why);
                if (device < 0) {
                    std::fprintf(stderr, "zarvel-cli: --port %s: %s\n", wanted.c_str(), why.c_str());
                    return EXIT_DEVICE_FAILED;
                }
                if (std::find(devices.begin(), devices.end(), device) != devices.end()) {
                    std::fprintf(stderr, "zarvel-cli: --port %s: port %d is given twice; each SID needs its own\n",
                                 wanted.c_str(), device);
                    return EXIT_USAGE;
                }
                devices.push_back(device);
            }
            player_state.midi_out_device = devices.front();
            if (devices.size() > 1) {
                player_state.midi_out_device = add_port_per_sid_device(devices, ports.names);
                ports.names.push_back(joined_port_names(devices, ports.names));
            }
        } else if (ports.names.empty()) {
            std::fputs("zarvel-cli: no MIDI output port: playing to the built-in monitor\n", stderr);
        } else {
            player_state.midi_out_device = default_port(ports.names);
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

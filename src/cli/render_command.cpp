#include "cli/render_command.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/headless_start.h"
#include "cli/play_list.h"
#include "cli/render_plan.h"
#include "cli/render_workers.h"
#include "cli/replacement_file.h"
#include "cli/smf_writer.h"
#include "headless/headless_player.h"
#include "platform/sysex_split.h"
#include "player/playback_stop.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/tune_info.h"

namespace {

constexpr long seconds_at_most = 3600;
constexpr uint64_t start_buffers = 64;

enum class Format { midi_file, sysex };

bool ends_with(const std::string& text, const char* suffix) {
    size_t n = std::strlen(suffix);
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - n + i])) != suffix[i]) return false;
    return true;
}

// Takes the played buffers whose time, counted in the stream's own delta
// times from its start, lies within the render.
class RenderSink : public stream_engine::MidiSink {
public:
    RenderSink(Format format, uint64_t last_tick, uint64_t buffer_limit)
        : format_(format), last_tick_(last_tick), buffer_limit_(buffer_limit) {}

    void play(const uint8_t* bytes, uint32_t length, uint32_t delta_ticks, int64_t) override {
        if (done()) return;
        if (tick_ + delta_ticks >= last_tick_) {
            // A buffer at the end would begin the next part of the song;
            // the file lasts up to the end and no longer.
            past_end_ = true;
            if (format_ == Format::midi_file) midi_.add_buffer(static_cast<uint32_t>(last_tick_ - tick_), nullptr, 0);
            tick_ = last_tick_;
            return;
        }
        tick_ += delta_ticks;
        ++buffers_;
        if (format_ == Format::midi_file) {
            midi_.add_buffer(delta_ticks, bytes, length);
        } else {
            stream_engine::for_each_sysex(bytes, length, [this](const uint8_t* message, size_t size) {
                sysex_.insert(sysex_.end(), message, message + size);
            });
        }
    }

    bool done() const { return past_end_ || buffers_ >= buffer_limit_; }
    bool hit_buffer_limit() const { return !past_end_ && buffers_ >= buffer_limit_; }
    uint64_t buffers() const { return buffers_; }
    uint64_t ticks() const { return tick_; }
    std::vector<uint8_t> file_bytes() const { return format_ == Format::midi_file ? midi_.finish() : sysex_; }

private:
    Format format_;
    uint64_t last_tick_;
    uint64_t buffer_limit_;
    uint64_t tick_ = 0;
    uint64_t buffers_ = 0;
    bool past_end_ = false;
    SmfWriter midi_;
    std::vector<uint8_t> sysex_;
};

void report_unwritten(std::FILE* err, const std::string& path, const std::string& why) {
    std::fprintf(err, "zarvel-cli: %s: cannot write: %s\n", path.c_str(), why.c_str());
}

bool is_single_file(const std::string& output) { return ends_with(output, ".mid") || ends_with(output, ".syx"); }

// The stream time a song fills: its tune time from --start on at the chosen
// speed; 0 or less when it starts at or past its known length.
double render_seconds(const RenderOptions& options, int32_t length_ms) {
    if (options.seconds_given || length_ms == unknown_length_ms) return options.seconds;
    return static_cast<double>(length_ms - options.tune.start_ms) / 1000 * 100 / options.tune.speed;
}

// A song written whole up to where its play routine stopped, told apart
// from a render that failed (both leave the program with exit code 1).
constexpr int written_but_stopped = 3;
// Not written, for a reason every later song would meet too (a full disk):
// the folder render stops there.
constexpr int output_exhausted = 4;

bool ends_every_write(int error) { return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EROFS; }

// One song into one file. seconds is the stream time it fills.
int render_song(const TuneOptions& tune, const std::string& output, double seconds, std::FILE* out, std::FILE* err,
                bool* stopped_early = nullptr) {
    if (seconds <= 0) {
        std::fprintf(err, "zarvel-cli: %s: song %d: --start %s is at or past the song's length\n", tune.tune.c_str(),
                     tune.song, format_song_time(tune.start_ms).c_str());
        return EXIT_USAGE;
    }
    Format format = ends_with(output, ".mid") ? Format::midi_file : Format::sysex;
    uint64_t last_tick = static_cast<uint64_t>(std::llround(seconds * 1000));
    auto sink = std::make_shared<RenderSink>(format, last_tick, render_buffer_limit(seconds));
    HeadlessPlayer player(sink);
    if (int code = start_headless(player, tune, err); code != EXIT_OK) return code;
    // Made before the render, so that a folder it cannot write fails at once.
    ReplacementFile file(output);
    std::string why;
    if (!file.create(why)) {
        report_unwritten(err, output, why);
        return ends_every_write(file.error()) ? output_exhausted : EXIT_DEVICE_FAILED;
    }
    // A song its play routine stopped ends with the mute frames: the file
    // holds the song up to there and no silence after.
    if (!run_stream_until([&sink] { return sink->done() || song_stopped_and_muted(); })) {
        std::fprintf(err, "zarvel-cli: %s: the stream stopped before the end of the render\n", output.c_str());
        return EXIT_DEVICE_FAILED;
    }
    tell_player_notices(err);
    // The last event looked at may lie past the end; a stop in its callback
    // is not part of the render.
    int32_t stopped_at_ms = player_state.play_stopped_at_ms;
    bool stopped = stopped_at_ms >= 0 && static_cast<uint64_t>(stopped_at_ms) < last_tick;
    if (sink->hit_buffer_limit())
        std::fprintf(err, "zarvel-cli: the play period is too short to fill %.3f s: stopped after %llu buffers\n",
                     seconds, static_cast<unsigned long long>(sink->buffers()));
    std::vector<uint8_t> bytes = sink->file_bytes();
    if (!file.commit(bytes.data(), bytes.size(), why)) {
        report_unwritten(err, output, why);
        return ends_every_write(file.error()) ? output_exhausted : EXIT_DEVICE_FAILED;
    }
    std::fprintf(out, "%s: %llu buffers, %.3f s\n", output.c_str(), static_cast<unsigned long long>(sink->buffers()),
                 static_cast<double>(sink->ticks()) / 1000);
    if (stopped) {
        if (stopped_early) *stopped_early = true;
        report_playback_stop(err, stopped_at_ms, player_state.stopped_in_init != 0, tune.tune);
        return EXIT_PLAYBACK_STOPPED;
    }
    return EXIT_OK;
}

// The tune's song count and start song, from its header; 0 after reporting
// why it cannot be loaded.
int read_song_count(const std::string& tune, int& start_song, std::FILE* err) {
    int result = load_psid(tune.c_str());
    if (result != LOAD_OK) {
        report_load_failure(err, tune, result);
        return 0;
    }
    start_song = tune_info.start_song;
    return tune_info.songs;
}

int render_one_tune(const RenderOptions& options, std::FILE* out, std::FILE* err) {
    if (!is_single_file(options.output)) {
        std::fputs("zarvel-cli: --output: FILE must end in .mid or .syx (see zarvel-cli render --help)\n", err);
        return EXIT_USAGE;
    }
    int start_song = 1;
    int songs = read_song_count(options.tune.tune, start_song, err);
    if (songs == 0) return EXIT_LOAD_FAILED;
    if (int code = check_song(options.tune.song, err); code != EXIT_OK) return code;
    int song = options.tune.song != 0 ? options.tune.song : start_song;
    TuneRecord record = look_up_tune(options.tune.tune, songs, options.collection, err);
    TuneOptions tune = options.tune;
    tune.song = song;
    int code = render_song(tune, options.output, render_seconds(options, record.lengths_ms[song - 1]), out, err);
    return code == output_exhausted ? static_cast<int>(EXIT_DEVICE_FAILED) : code;
}

struct SongJob {
    RenderJob job;
    double seconds;
};

int render_folder(const RenderOptions& options, std::FILE* out, std::FILE* err) {
    if (is_single_file(options.output)) {
        std::fprintf(err, "zarvel-cli: --output: %s: several songs are rendered, so OUT names a folder, not a file\n",
                     options.output.c_str());
        return EXIT_USAGE;
    }
    auto count = [err](const std::string& tune, int& start_song) { return read_song_count(tune, start_song, err); };
    RenderPlan plan = plan_folder_render(options.tunes, options.output, options.all_songs, options.tune.song, count, err);
    if (plan.collision) return EXIT_USAGE;

    std::vector<SongJob> jobs;
    std::string record_of;
    TuneRecord record;
    for (const RenderJob& job : plan.jobs) {
        if (job.tune != record_of) {
            int start_song = 1;
            int songs = read_song_count(job.tune, start_song, err);
            record = look_up_tune(job.tune, songs, options.collection, err);
            record_of = job.tune;
        }
        int32_t length = job.song <= static_cast<int>(record.lengths_ms.size()) ? record.lengths_ms[job.song - 1]
                                                                                : unknown_length_ms;
        jobs.push_back({job, render_seconds(options, length)});
    }
    // Each folder once; the songs of one that cannot be made are not tried,
    // and its reason is told once, not as a missing file for every song.
    std::vector<bool> folder_made(jobs.size(), true);
    std::map<std::string, bool> folders;
    for (size_t i = 0; i < jobs.size(); ++i) {
        std::string folder = std::filesystem::path(jobs[i].job.output).parent_path().string();
        auto known = folders.find(folder);
        if (known == folders.end()) {
            std::error_code error;
            std::filesystem::create_directories(folder.empty() ? "." : folder, error);
            if (error) std::fprintf(err, "zarvel-cli: %s: cannot create the folder: %s\n", folder.c_str(),
                                    error.message().c_str());
            known = folders.emplace(folder, !error).first;
        }
        folder_made[i] = known->second;
    }

    auto began = std::chrono::steady_clock::now();
    auto render = [&](int i, std::FILE* job_out, std::FILE* job_err) {
        if (!folder_made[i]) return static_cast<int>(EXIT_DEVICE_FAILED);
        TuneOptions tune = options.tune;
        tune.tune = jobs[i].job.tune;
        tune.song = jobs[i].job.song;
        bool stopped_early = false;
        int code = render_song(tune, jobs[i].job.output, jobs[i].seconds, job_out, job_err, &stopped_early);
        return stopped_early ? written_but_stopped : code;
    };
    int workers = options.jobs > 0 ? options.jobs : static_cast<int>(std::thread::hardware_concurrency());
    RunStop stop;
    std::vector<int> codes = run_in_workers(
        static_cast<int>(jobs.size()), workers, render, [&](int i) { return jobs[i].job.output; },
        [](int code) { return code == output_exhausted; }, stop, out, err);
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    double music = 0;
    int written = 0;
    int stopped = 0;
    int not_run = 0;
    int code = plan.unreadable > 0 || jobs.empty() ? EXIT_LOAD_FAILED : EXIT_OK;
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (codes[i] == EXIT_OK || codes[i] == written_but_stopped) {
            ++written;
            music += jobs[i].seconds;
        }
        if (codes[i] == written_but_stopped) ++stopped;
        if (codes[i] == render_not_run) ++not_run;
        if (codes[i] != EXIT_OK && code == EXIT_OK)
            code = codes[i] == written_but_stopped                                      ? EXIT_PLAYBACK_STOPPED
                   : codes[i] == output_exhausted || codes[i] == render_not_run ? EXIT_DEVICE_FAILED
                                                                                : codes[i];
    }
    if (stop.stopping_render >= 0)
        std::fprintf(err, "zarvel-cli: render stopped: %s could not be written, and no later song could be\n",
                     jobs[stop.stopping_render].job.output.c_str());
    if (stop.signal != 0)
        std::fprintf(err, "zarvel-cli: render stopped by signal %d (%s)\n", stop.signal, strsignal(stop.signal));
    std::fprintf(out, "wrote %d of %zu songs to %s: %s of stream in %.1f s", written, jobs.size() + plan.unreadable,
                 options.output.c_str(), format_song_time(static_cast<int32_t>(music * 1000)).c_str(), took);
    if (stopped > 0) std::fprintf(out, " (%d stopped early: an init or play routine did not return)", stopped);
    if (not_run > 0) std::fprintf(out, " (%d not tried)", not_run);
    std::fputc('\n', out);
    // Ended as an interrupted program ends, once nothing is half-written.
    return stop.signal != 0 ? 128 + stop.signal : code;
}

}  // namespace

uint64_t render_buffer_limit(double seconds) {
    return static_cast<uint64_t>(std::ceil(seconds * 1000)) + start_buffers;
}

void add_render_command(CLI::App& app, RenderOptions& options) {
    CLI::App* render = app.add_subcommand(
        "render", "Write the stream of a song to a file as fast as the machine allows: FILE.mid is a Standard "
                  "MIDI File (one SysEx event per message, the stream's timing), FILE.syx the messages back to back. "
                  "Several tunes, a folder or --all-songs write one .mid per song into the folder OUT");
    render->add_option("TUNE", options.tunes, "PSID files, folders of them (searched at any depth) or .m3u lists")
        ->required();
    render->add_option("--song", options.tune.song, "song to render, 1-based (default: each tune's start song)")
        ->check(whole_number_validator(1, 65535));
    render->add_flag("--all-songs", options.all_songs, "render every song of each tune, to STEM-N.mid")
        ->excludes("--song");
    render->add_option("-o,--output", options.output, "FILE.mid or FILE.syx for one song; else a folder")
        ->type_name("OUT")
        ->required();
    render
        ->add_option("--seconds", options.seconds,
                     "length of each render, in seconds or m:ss (default: the song's length in the song-length "
                     "database, else 180)")
        ->type_name("SECONDS")
        ->transform(seconds_validator(seconds_at_most))
        ->each([&options](const std::string&) { options.seconds_given = true; });
    render->add_option("-j,--jobs", options.jobs, "songs rendered at once, in worker processes (default: one per "
                                                   "processor)")
        ->check(whole_number_validator(1, 256));
    add_collection_options(*render, options.collection);
    add_start_option(*render, options.tune, "each song");
    add_sound_options(*render, options.tune);
}

int run_render(const RenderOptions& options, std::FILE* out, std::FILE* err) {
    if (options.tunes.empty()) return render_one_tune(options, out, err);
    bool one_tune = options.tunes.size() == 1 && !std::filesystem::is_directory(options.tunes[0]) &&
                    !is_play_list_file(options.tunes[0]);
    if (one_tune && !options.all_songs) {
        RenderOptions single = options;
        single.tune.tune = options.tunes[0];
        return render_one_tune(single, out, err);
    }
    return render_folder(options, out, err);
}

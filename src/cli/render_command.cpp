#include "cli/render_command.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "cli/exit_codes.h"
#include "cli/headless_start.h"
#include "cli/replacement_file.h"
#include "cli/smf_writer.h"
#include "headless/headless_player.h"
#include "platform/sysex_split.h"
#include "player/playback_stop.h"
#include "player/player_state.h"

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
        if (tick_ + delta_ticks > last_tick_) {
            past_end_ = true;
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

}  // namespace

uint64_t render_buffer_limit(double seconds) {
    return static_cast<uint64_t>(std::ceil(seconds * 1000)) + start_buffers;
}

void add_render_command(CLI::App& app, RenderOptions& options) {
    CLI::App* render = app.add_subcommand(
        "render", "Write the stream of a song to a file as fast as the machine allows: FILE.mid is a Standard "
                  "MIDI File (one SysEx event per message, the stream's timing), FILE.syx the messages back to back");
    add_tune_options(*render, options.tune);
    render->add_option("-o,--output", options.output, "FILE.mid or FILE.syx")
        ->required()
        ->check(CLI::Validator(
            [](std::string& path) -> std::string {
                return ends_with(path, ".mid") || ends_with(path, ".syx") ? "" : "FILE must end in .mid or .syx";
            },
            "FILE"));
    render->add_option("--seconds", options.seconds, "length of the render in seconds")
        ->type_name("S")
        ->check(seconds_validator(seconds_at_most))
        ->capture_default_str();
    add_sound_options(*render, options.tune);
}

int run_render(const RenderOptions& options, std::FILE* out, std::FILE* err) {
    Format format = ends_with(options.output, ".mid") ? Format::midi_file : Format::sysex;
    uint64_t last_tick = static_cast<uint64_t>(std::llround(options.seconds * 1000));
    auto sink = std::make_shared<RenderSink>(format, last_tick, render_buffer_limit(options.seconds));
    HeadlessPlayer player(sink);
    if (int code = start_headless(player, options.tune, err); code != EXIT_OK) return code;
    // Made before the render, so that a folder it cannot write fails at once.
    ReplacementFile file(options.output);
    std::string why;
    if (!file.create(why)) {
        report_unwritten(err, options.output, why);
        return EXIT_DEVICE_FAILED;
    }
    // A song its play routine stopped ends with the mute frames: the file
    // holds the song up to there and no silence after.
    if (!run_stream_until([&sink] { return sink->done() || song_stopped_and_muted(); })) {
        std::fputs("zarvel-cli: the stream stopped before the end of the render\n", err);
        return EXIT_DEVICE_FAILED;
    }
    // The last event looked at may lie past the end; a stop in its callback
    // is not part of the render.
    int32_t stopped_at_ms = player_state.play_stopped_at_ms;
    bool stopped = stopped_at_ms >= 0 && static_cast<uint64_t>(stopped_at_ms) <= last_tick;
    if (sink->hit_buffer_limit())
        std::fprintf(err, "zarvel-cli: the play period is too short to fill %.3f s: stopped after %llu buffers\n",
                     options.seconds, static_cast<unsigned long long>(sink->buffers()));
    std::vector<uint8_t> bytes = sink->file_bytes();
    if (!file.commit(bytes.data(), bytes.size(), why)) {
        report_unwritten(err, options.output, why);
        return EXIT_DEVICE_FAILED;
    }
    std::fprintf(out, "%s: %llu buffers, %.3f s\n", options.output.c_str(),
                 static_cast<unsigned long long>(sink->buffers()), static_cast<double>(sink->ticks()) / 1000);
    if (stopped) {
        report_playback_stop(err, stopped_at_ms);
        return EXIT_PLAYBACK_STOPPED;
    }
    return EXIT_OK;
}

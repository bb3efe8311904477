#include "cli/dump_command.h"

#include <CLI/CLI.hpp>
#include <memory>

#include "cli/exit_codes.h"
#include "cli/headless_start.h"
#include "headless/headless_player.h"
#include "player/playback_stop.h"
#include "player/player_state.h"

namespace {

constexpr long buffers_at_most = 100000000;

// Prints each played buffer until it has printed its share. The stream plays
// its buffers in the order they were queued, so played order is queue order.
class DumpSink : public stream_engine::MidiSink {
public:
    DumpSink(std::FILE* out, long lines) : out_(out), lines_left_(lines) {}
    void play(const uint8_t* bytes, uint32_t length, uint32_t delta_ticks, int64_t) override {
        if (lines_left_ <= 0) return;
        --lines_left_;
        std::fprintf(out_, "%u", delta_ticks);
        for (uint32_t i = 0; i < length; ++i) std::fprintf(out_, " %02X", bytes[i]);
        std::fputc('\n', out_);
    }
    // Output that cannot be written ends the dump early; main reports it.
    bool done() const { return lines_left_ <= 0 || std::ferror(out_); }

private:
    std::FILE* out_;
    long lines_left_;
};

}  // namespace

void add_dump_command(CLI::App& app, DumpOptions& options) {
    CLI::App* dump = app.add_subcommand(
        "dump", "Print the first buffers queued on the stream from the start of the song, one line each: "
                "the delta time in ms, then every message byte in hex (an empty buffer is its delta time alone)");
    add_tune_options(*dump, options.tune);
    dump->add_option("--buffers", options.buffers, "how many buffers (lines) to print")
        ->check(whole_number_validator(0, buffers_at_most))
        ->capture_default_str();
    add_start_option(*dump, options.tune, "the song");
    add_sound_options(*dump, options.tune);
}

int run_dump(const DumpOptions& options, std::FILE* out, std::FILE* err) {
    auto sink = std::make_shared<DumpSink>(out, options.buffers);
    HeadlessPlayer player(sink);
    if (int code = start_headless(player, options.tune, err); code != EXIT_OK) return code;
    // A song its play routine stopped ends with the mute frames; the empty
    // buffers after them would only hide the stop.
    if (!run_stream_until([&sink] { return sink->done() || song_stopped_and_muted(); })) {
        std::fprintf(err, "zarvel-cli: %s: the stream stopped before the buffers were all played\n",
                     options.tune.tune.c_str());
        return EXIT_DEVICE_FAILED;
    }
    tell_player_notices(err);
    if (player_state.play_stopped_at_ms >= 0) {
        report_playback_stop(err, player_state.play_stopped_at_ms, player_state.stopped_in_init != 0,
                             options.tune.tune);
        return EXIT_PLAYBACK_STOPPED;
    }
    return EXIT_OK;
}

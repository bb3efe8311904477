#include "cli/info_command.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstring>

#include "cli/exit_codes.h"
#include "cli/header_text.h"
#include "cli/json_line.h"
#include "cli/latin1_text.h"
#include "cli/play_list.h"
#include "cli/tune_options.h"
#include "cpu/cpu_call.h"
#include "headless/stream_budget.h"
#include "machine/machine.h"
#include "player/machine_tune.h"
#include "player/play_rate.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/tune_driver.h"
#include "player/tune_info.h"

namespace {

// A PSID tune has at most 256 songs; a header that claims more still gets
// its first 256 run, so that a damaged count cannot keep the command busy for
// minutes of abandoned inits.
constexpr int songs_run_at_most = 256;

// The first SID's registers, where every tune's own SID lives.
constexpr uint16_t first_sid_address = 0xD400;

// Play calls per second are rarely whole (50.125 for a PAL frame): shown to
// the thousandth, which tells any two latches apart.
constexpr int rate_decimals = 3;

struct SongRate {
    double rate_hz;
    bool init_returned;
    StreamBudget budget;
    uint32_t sources = 0;  // a tune that drives itself: MachineSource bits seen in its first second
};

// A tune that drives itself runs for this long to show its interrupt sources,
// and for the second span to count its frames: long enough that a rate such
// as four frames a PAL frame (200.5 a second) shows whole.
constexpr uint64_t sources_window_seconds = 1;
constexpr uint64_t rate_window_seconds = 2;

// Interrupt sources as info names them: text for people, then JSON's.
struct SourceName {
    uint32_t bit;
    const char* text;
    const char* json;
};
constexpr SourceName source_names[] = {
    {SOURCE_CIA1_TIMER_A, "CIA 1 timer A", "cia1_timer_a"},
    {SOURCE_CIA1_TIMER_B, "CIA 1 timer B", "cia1_timer_b"},
    {SOURCE_RASTER, "raster", "raster"},
    {SOURCE_CIA2_TIMER_A, "CIA 2 timer A (NMI)", "cia2_timer_a"},
    {SOURCE_CIA2_TIMER_B, "CIA 2 timer B (NMI)", "cia2_timer_b"},
};

const char* model_text(const TuneInfo& t) { return tune_drives_itself(t) ? "drives itself" : "called by the player"; }
const char* model_json(const TuneInfo& t) { return tune_drives_itself(t) ? "drives_itself" : "called_by_player"; }

std::string sources_text(uint32_t sources) {
    std::string text;
    for (const SourceName& name : source_names) {
        if (!(sources & name.bit)) continue;
        if (!text.empty()) text += ", ";
        text += name.text;
    }
    return text.empty() ? "none" : text;
}

// A tune on the machine, step by step as the player would run it: the
// interrupt sources of its first second, and as its rate the frames it sent
// in its first rate_window_seconds, per second.
uint32_t first_seconds_on_the_machine(double& rate_hz) {
    uint64_t clock_hz = static_cast<uint64_t>(machine_tune_clock_hz());
    uint64_t sources_end = sources_window_seconds * clock_hz;
    uint64_t rate_end = rate_window_seconds * clock_hz;
    int64_t frames = sid_write_log.registers[0] >= 0 ? 1 : 0;
    uint32_t sources = 0;
    while (machine_tune_report().step_end < rate_end) {
        if (machine_tune_report().cycles < sources_end) sources = machine_tune_report().sources;
        if (play_call() == CPU_ABANDONED) break;
        if (sid_write_log.registers[0] >= 0 && machine_tune_report().step_end < rate_end) ++frames;
    }
    rate_hz = static_cast<double>(frames) / rate_window_seconds;
    return sources;
}

// Each song from a fresh image and CPU, as a start after loading would find
// them: an init may change the tune's own variables. A tune that drives
// itself then runs to the end of its first second. False when the file
// could no longer be read.
bool run_each_init(const std::string& path, int songs, std::vector<SongRate>& rates) {
    for (int song = 1; song <= songs; ++song) {
        if (load_psid(path.c_str()) != LOAD_OK) return false;
        std::memset(&cpu_state, 0, sizeof cpu_state);
        player_state.current_song = song;
        CpuCallResult result = init_tune();
        SongRate& rate = rates[static_cast<size_t>(song - 1)];
        rate.rate_hz = play_rate_exact_hz();
        rate.init_returned = result != CPU_ABANDONED;
        if (tune_drives_itself(tune_info) && rate.init_returned) rate.sources = first_seconds_on_the_machine(rate.rate_hz);
    }
    return true;
}

// After the inits: each measure plays the song from a fresh process state.
bool measure_each_budget(const std::string& path, int32_t extra_sids, std::vector<SongRate>& rates) {
    for (size_t i = 0; i < rates.size(); ++i)
        if (!measure_stream_budget(path, static_cast<int>(i) + 1, extra_sids, rates[i].budget)) return false;
    return true;
}

long whole(double bytes_per_s) { return std::lround(bytes_per_s); }

std::string length_text(int32_t ms) { return ms == unknown_length_ms ? "length unknown" : format_song_time(ms); }

void print_stil_fields(std::FILE* out, const std::vector<StilField>& fields) {
    for (const StilField& field : fields) {
        // The file's own layout: names right-aligned, continuation lines under the text.
        std::string_view text = field.text;
        const char* label = field.name.c_str();
        for (;;) {
            size_t end = text.find('\n');
            std::fprintf(out, "  %9s%s %s\n", label, *label ? ":" : " ",
                         latin1_to_terminal_text(text.substr(0, end)).c_str());
            if (end == std::string_view::npos) break;
            text.remove_prefix(end + 1);
            label = "";
        }
    }
}

void print_plain(std::FILE* out, const std::string& path, const TuneInfo& t, const std::vector<SongRate>& rates,
                 const TuneRecord& record) {
    print_tune_header(out, path, TextBytes::latin1);
    std::fprintf(out, "%-13s%s\n", "md5", record.md5_known ? md5_hex(record.md5).c_str() : "unknown");
    std::fprintf(out, "%-13s%s\n", "clock", tune_clock_name(t.flags));
    std::fprintf(out, "%-13s%s\n", "sid_model", sid_model_name(t.flags));
    std::fprintf(out, "%-13s%s\n", "model", model_text(t));
    std::fputc('\n', out);
    for (size_t i = 0; i < rates.size(); ++i) {
        int song = static_cast<int>(i) + 1;
        std::fprintf(out, "song %d: %s Hz, %s%s%s\n", song, decimal_text(rates[i].rate_hz, rate_decimals).c_str(),
                     length_text(record.lengths_ms[i]).c_str(),
                     song == t.start_song ? " (start song)" : "",
                     rates[i].init_returned ? "" : " (the init routine did not return)");
        const StreamBudget& b = rates[i].budget;
        std::fprintf(out, "  stream, first 60 s: %ld bytes/s mean, %ld peak; changes only %ld mean, %ld peak\n",
                     whole(b.sent.mean), whole(b.sent.peak), whole(b.changes_only.mean), whole(b.changes_only.peak));
        if (tune_drives_itself(t))
            std::fprintf(out, "  interrupts in the first second: %s\n", sources_text(rates[i].sources).c_str());
    }
    if (t.songs > rates.size())
        std::fprintf(out, "songs %zu to %u: not run (a tune has at most %d)\n", rates.size() + 1, t.songs,
                     songs_run_at_most);
    if (record.stil) {
        std::fputs("\nSTIL\n", out);
        print_stil_fields(out, record.stil->global);
        for (const StilSong& song : record.stil->songs) {
            std::fprintf(out, "(#%d)\n", song.song);
            print_stil_fields(out, song.fields);
        }
    }
}

void add_stil_fields(JsonLine& json, const std::vector<StilField>& fields) {
    json.begin_array();
    for (const StilField& field : fields)
        json.begin_object().key("name").string(field.name).key("text").string(latin1_to_utf8(field.text)).end_object();
    json.end_array();
}

void print_json(std::FILE* out, const std::string& path, const TuneInfo& t, const std::vector<SongRate>& rates,
                const TuneRecord& record) {
    JsonLine json;
    json.begin_object().key("path").string(path).key("md5");
    if (record.md5_known) json.string(md5_hex(record.md5));
    else json.null();
    json.key("version").number(t.version)
        .key("name").string(latin1_to_utf8(tune_text(t.name)))
        .key("author").string(latin1_to_utf8(tune_text(t.author)))
        .key("released").string(latin1_to_utf8(tune_text(t.released)))
        .key("songs").number(t.songs)
        .key("start_song").number(t.start_song)
        .key("clock").string(tune_clock_name(t.flags))
        .key("sid_model").string(sid_model_name(t.flags))
        .key("model").string(model_json(t));
    json.key("sids").begin_array().number(first_sid_address);
    if (t.second_sid_address) json.number(t.second_sid_address);
    if (t.third_sid_address) json.number(t.third_sid_address);
    json.end_array();
    json.key("song_list").begin_array();
    for (size_t i = 0; i < rates.size(); ++i) {
        json.begin_object().key("song").number(static_cast<int64_t>(i) + 1).key("rate_hz").decimal(rates[i].rate_hz, rate_decimals);
        json.key("length_ms");
        if (record.lengths_ms[i] == unknown_length_ms) json.null();
        else json.number(record.lengths_ms[i]);
        const StreamBudget& b = rates[i].budget;
        json.key("stream_bytes_per_s").begin_object()
            .key("mean").number(whole(b.sent.mean))
            .key("peak").number(whole(b.sent.peak))
            .key("changes_only_mean").number(whole(b.changes_only.mean))
            .key("changes_only_peak").number(whole(b.changes_only.peak))
            .end_object();
        if (tune_drives_itself(t)) {
            json.key("interrupt_sources").begin_array();
            for (const SourceName& name : source_names)
                if (rates[i].sources & name.bit) json.string(name.json);
            json.end_array();
        }
        json.end_object();
    }
    json.end_array().key("stil");
    if (record.stil) {
        json.begin_object().key("global");
        add_stil_fields(json, record.stil->global);
        json.key("songs").begin_array();
        for (const StilSong& song : record.stil->songs) {
            json.begin_object().key("song").number(song.song).key("fields");
            add_stil_fields(json, song.fields);
            json.end_object();
        }
        json.end_array().end_object();
    } else {
        json.null();
    }
    json.end_object();
    std::fprintf(out, "%s\n", json.text().c_str());
}

}  // namespace

void add_info_command(CLI::App& app, InfoOptions& options) {
    CLI::App* info = app.add_subcommand(
        "info", "Print each tune's header, MD5, video standard and SID model, whether the player calls it or it "
                "drives itself, each song's play rate after its init routine, its length and the bytes per second "
                "its stream needs over its first 60 s (mean and peak over any 1 s, as sent and with changes only) "
                "(and, for a tune that drives itself, its interrupt sources in the first second), and the tune's "
                "STIL entry");
    info->add_option("TUNE", options.tunes, "PSID files, folders of them (searched at any depth) or .m3u lists")
        ->required();
    info->add_flag("--json", options.json, "one JSON object per tune per line (JSON Lines), texts in UTF-8");
    info->add_option("--extra-sids", options.extra_sids,
                     "the second and third SID in the stream figures: off or frames (as play takes them)")
        ->check(CLI::IsMember({"off", "frames"}))
        ->capture_default_str();
    add_collection_options(*info, options.collection);
}

int run_info(const InfoOptions& options, std::FILE* out, std::FILE* err) {
    std::vector<std::string> tunes = build_play_list(options.tunes, err);
    int code = tunes.empty() ? EXIT_LOAD_FAILED : EXIT_OK;
    bool first = true;
    for (const std::string& path : tunes) {
        int result = load_psid(path.c_str());
        if (result != LOAD_OK) {
            report_load_failure(err, path, result);
            code = EXIT_LOAD_FAILED;
            continue;
        }
        TuneInfo header = tune_info;
        int songs = header.songs < songs_run_at_most ? header.songs : songs_run_at_most;
        std::vector<SongRate> rates;
        int32_t extra_sids = options.extra_sids == "frames" ? EXTRA_SIDS_FRAMES : EXTRA_SIDS_OFF;
        // The inits last: the header printed below reads the tune they leave loaded.
        rates.resize(static_cast<size_t>(songs));
        if (!measure_each_budget(path, extra_sids, rates) || !run_each_init(path, songs, rates)) {
            report_load_failure(err, path, LOAD_CANNOT_OPEN);
            code = EXIT_LOAD_FAILED;
            continue;
        }
        TuneRecord record = look_up_tune(path, songs, options.collection, err);
        if (options.json) {
            print_json(out, path, header, rates, record);
        } else {
            if (!first) std::fputc('\n', out);
            print_plain(out, path, header, rates, record);
        }
        first = false;
    }
    return code;
}

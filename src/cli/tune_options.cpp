#include "cli/tune_options.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>

#include "cli/exit_codes.h"
#include "collection/song_lengths.h"
#include "player/commands.h"
#include "player/load_message.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/scale_bounds.h"
#include "player/tune_info.h"

void add_tune_options(CLI::App& command, TuneOptions& options) {
    command.add_option("TUNE", options.tune, "PSID file")->required();
    command.add_option("--song", options.song, "song to play, 1-based (default: the tune's start song)")
        ->check(whole_number_validator(1, 65535));
}

void add_start_option(CLI::App& command, TuneOptions& options, const char* what) {
    command
        .add_option_function<std::string>(
            "--start",
            [&options](const std::string& text) { parse_song_length(text, options.start_ms); },
            std::string("begin ") + what + " this far in (tune time): its play routine runs silently up to there")
        ->type_name("M:SS[.mmm]")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                int32_t ms = 0;
                return parse_song_length(text, ms) ? "" : text + " is no time; give m:ss or m:ss.mmm, such as 1:30";
            },
            ""));
}

void add_sound_options(CLI::App& command, TuneOptions& options, bool ports_choice) {
    command.add_option("--speed", options.speed, "play rate in percent, 20..200")
        ->check(whole_number_validator(scale_min_percent, scale_max_percent))
        ->capture_default_str();
    command.add_option("--filter", options.filter, "filter cutoff in percent, 20..200")
        ->check(whole_number_validator(scale_min_percent, scale_max_percent))
        ->capture_default_str();
    command
        .add_option("--voices", options.voices,
                    "voices 1, 2 and 3 on (1) or muted (0): 111 plays all, 101 mutes voice 2")
        ->type_name("MASK")
        ->check(CLI::Validator(
            [](std::string& mask) -> std::string {
                std::array<int32_t, 3> enabled;
                return parse_voice_mask(mask, enabled) ? "" : "MASK is three characters 0 or 1, such as 101";
            },
            ""))
        ->capture_default_str();
    if (ports_choice) {
        command
            .add_option("--extra-sids", options.extra_sids,
                        "a tune's second and third SID: off (not played), frames (their own register frames, "
                        "sub-commands 0x50 and 0x51, after the first SID's) or ports (each SID's frames as 0x4E "
                        "to its own --port, given once per SID)")
            ->check(CLI::IsMember({"off", "frames", "ports"}))
            ->capture_default_str();
    } else {
        command
            .add_option("--extra-sids", options.extra_sids,
                        "a tune's second and third SID: off (not played) or frames (their own register frames, "
                        "sub-commands 0x50 and 0x51, after the first SID's)")
            ->check(CLI::IsMember({"off", "frames"}))
            ->capture_default_str();
    }
    command.add_flag("--changes-only", options.changes_only,
                     "frames carry only the registers whose value the synthesizer does not hold yet");
}

CLI::Validator whole_number_validator(long min, long max) {
    std::string range = std::to_string(min) + ".." + std::to_string(max);
    return CLI::Validator(
        [min, max](std::string& text) -> std::string {
            std::string wanted = "a whole number from " + std::to_string(min) + " to " + std::to_string(max);
            int64_t number = 0;
            double fraction = 0;
            if (CLI::detail::lexical_cast(text, number)) {
                if (number >= min && number <= max) return "";
                return text + " is out of range; give " + wanted;
            }
            if (CLI::detail::lexical_cast(text, fraction)) return text + " is not a whole number; give " + wanted;
            return text + " is not a number; give " + wanted;
        },
        range);
}

CLI::Validator seconds_validator(long max_seconds) {
    // The description stays empty: the option's type name says it all, and
    // CLI11 would print it after the name ("S:S").
    return CLI::Validator(
        [max_seconds](std::string& text) -> std::string {
            std::string wanted = "seconds (or m:ss) above 0 and at most " + std::to_string(max_seconds);
            double seconds = 0;
            int32_t ms = 0;
            if (text.find(':') != std::string::npos) {
                // m:ss as --default-length takes it; handed on as seconds.
                if (!parse_song_length(text, ms)) return text + " is no length; give " + wanted;
                seconds = ms / 1000.0;
                char converted[32];
                std::snprintf(converted, sizeof converted, "%.3f", seconds);
                text = converted;
            } else if (!CLI::detail::lexical_cast(text, seconds) || std::isnan(seconds)) {
                return text + " is not a number; give " + wanted;
            }
            if (!(seconds > 0) || seconds > static_cast<double>(max_seconds))
                return text + " is out of range; give " + wanted;
            return "";
        },
        "");
}

bool parse_voice_mask(const std::string& mask, std::array<int32_t, 3>& enabled) {
    if (mask.size() != enabled.size()) return false;
    for (size_t i = 0; i < enabled.size(); ++i) {
        if (mask[i] != '0' && mask[i] != '1') return false;
        enabled[i] = mask[i] == '1';
    }
    return true;
}

void report_load_failure(std::FILE* err, const std::string& path, int load_result) {
    std::fprintf(err, "zarvel-cli: %s: %s\n", path.c_str(), load_failure_message(load_result).c_str());
}

int check_song(int song, std::FILE* err) {
    if (song != 0 && song > tune_info.songs) {
        std::fprintf(err, "zarvel-cli: --song %d: the tune has %u song%s\n", song, tune_info.songs,
                     tune_info.songs == 1 ? "" : "s");
        return EXIT_USAGE;
    }
    return EXIT_OK;
}

int load_command_tune(const TuneOptions& options, const std::function<int(const char* path)>& load,
                      std::FILE* err) {
    int result = load(options.tune.c_str());
    if (result != LOAD_OK) {
        report_load_failure(err, options.tune, result);
        return EXIT_LOAD_FAILED;
    }
    return check_song(options.song, err);
}

int32_t chosen_song(const TuneOptions& options) {
    return options.song != 0 ? options.song : tune_info.start_song;
}

void apply_start_option(const TuneOptions& options) {
    if (options.start_ms > 0) seek_to(options.start_ms);
}

void apply_sound_options(const TuneOptions& options) {
    player_state.speed_percent = options.speed;
    player_state.filter_percent = options.filter;
    std::array<int32_t, 3> enabled{1, 1, 1};
    parse_voice_mask(options.voices, enabled);
    for (size_t i = 0; i < enabled.size(); ++i) player_state.voice_enabled[i] = enabled[i];
    player_state.extra_sids = options.extra_sids == "frames"  ? EXTRA_SIDS_FRAMES
                              : options.extra_sids == "ports" ? EXTRA_SIDS_PORTS
                                                              : EXTRA_SIDS_OFF;
    player_state.changes_only = options.changes_only ? 1 : 0;
}

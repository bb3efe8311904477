#pragma once
// What the commands that play a tune share: the tune argument, the song, and
// the window's sound controls (speed and filter scales, voice switches) as
// options, with one way to load the tune and set the controls from them.
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace CLI {
class App;
class Validator;
}

struct TuneOptions {
    std::string tune;
    int song = 0;              // 1-based; 0 means the tune's start song
    int speed = 100;           // speed_percent, 20..200
    int filter = 100;          // filter_percent, 20..200
    std::string voices = "111";  // voice 1, 2, 3: '1' on, '0' muted
    int32_t start_ms = 0;        // tune time the song begins at (--start)
    std::string extra_sids = "off";  // off, frames or (play only) ports: the second and third SID
    bool changes_only = false;
};

// TUNE and --song.
void add_tune_options(CLI::App& command, TuneOptions& options);
// --start M:SS[.mmm]; what says which song it moves.
void add_start_option(CLI::App& command, TuneOptions& options, const char* what);
// --speed, --filter, --voices, --extra-sids and --changes-only; ports only
// for a command that plays to ports.
void add_sound_options(CLI::App& command, TuneOptions& options, bool ports_choice = false);

// A whole number from min to max. The message tells a word that is no
// number (or no whole one) from a number out of range.
CLI::Validator whole_number_validator(long min, long max);

// A length in seconds, or m:ss[.mmm] (turned into seconds): above 0 and at
// most max_seconds.
CLI::Validator seconds_validator(long max_seconds);

// The voice mask as the three voice_enabled flags; false unless it is exactly
// three characters, each 0 or 1.
bool parse_voice_mask(const std::string& mask, std::array<int32_t, 3>& enabled);

// "zarvel-cli: PATH: <what failed and why>" on err.
void report_load_failure(std::FILE* err, const std::string& path, int load_result);

// Checks a 1-based song (0: the start song) against the loaded tune's count:
// EXIT_OK, or EXIT_USAGE with the reason on err.
int check_song(int song, std::FILE* err);

// The song to start: --song, or the loaded tune's start song.
int32_t chosen_song(const TuneOptions& options);

// Speed, filter, voices, extra SIDs and changes only into player_state, as the window's controls would
// set them. The options have been validated by the parser.
void apply_sound_options(const TuneOptions& options);

// The song that has just been asked to start moves to --start, if given
// (a seek request for the worker).
void apply_start_option(const TuneOptions& options);

// Loads options.tune through load (which returns a LoadResult), then checks
// the song: EXIT_OK, or the exit code with its message on err.
int load_command_tune(const TuneOptions& options, const std::function<int(const char* path)>& load,
                      std::FILE* err);

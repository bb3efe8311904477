#pragma once
// The play command's one status line, the terminal's stand-in for the
// window's controls:
//   Playing  Zarvel Melody  song 1/1  50 Hz  speed 100%  filter 100%  voices 111  0:12
#include <cstddef>
#include <cstdint>
#include <string>

struct StatusFields {
    const char* state;       // "Playing", "Paused" or "Stopped"
    const char* name;        // the tune's name as it is to be shown
    int32_t song;            // current_song
    int32_t songs;
    const char* rate_label;  // the rate label's "%i Hz": the rate at the speed setting, rounded
    int32_t speed_percent;
    int32_t filter_percent;
    int32_t voice_enabled[3];
    int64_t elapsed_seconds;  // tune time of the current song
};

// Writes the line into out (always terminated, cut at size - 1).
void format_status_line(const StatusFields& fields, char* out, size_t size);

// The play list's line above it, fitted to columns (at most 80):
//   file 2/14  song 1/3  1:23 / 3:12  Zarvel Multisong  Zarvel monitor
// The name (UTF-8) is shortened, never the numbers, when room runs out.
struct ListLineFields {
    int file;  // 1-based
    int files;
    int32_t song;
    int32_t songs;
    int32_t elapsed_ms;  // tune time of the current song
    int32_t length_ms;   // unknown_length_ms: "-:--"
    const char* name;
    const char* port;
};
std::string format_list_line(const ListLineFields& fields, size_t columns);

// The state word from the controller's flags: playing wins, then paused.
const char* playback_state_name(int32_t playing, int32_t paused);

// A header text as a terminal may show it: bytes outside printable ASCII
// become '?', so a tune's name cannot send control sequences.
void printable_text(const char* text, size_t length, char* out, size_t size);

// The keys, as the play command prints them once under the status line.
extern const char* const key_help;

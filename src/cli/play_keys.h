#pragma once
// The play command's keys as the window's commands: the same flag changes
// (player/commands.h), so the terminal drives the controller exactly as the
// window's buttons, switches and scales do.
//   space Play/Pause   s Stop   n p next and previous song   1 2 3 voices
//   + - speed          [ ] filter      < > (, .) 10 s back and forth in the song
//   ? all keys         q quit
// The play list's keys (the arrows, N and P) are the play command's own.
// Every other key, the cursor and function keys and any key with Alt among
// them, does nothing.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/key_decoder.h"

enum class KeyResult {
    ignored,       // not a key of ours
    handled,
    song_started,  // a start from the init routine: the song's time begins again
    quit,
    show_keys,     // ?: every key's help, or the short help again
};

// One scale step of a key press, in percent (the window's arrows step by 1,
// which is too fine for a key).
constexpr int32_t key_scale_step = 10;

// Space and s set the panel's Play button text, as the window's own buttons do.
// songs: the tune's song count, the range of n and p (they stop at the ends;
// a header that counts no songs offers none to step to).
KeyResult press_key(const Key& key, int32_t songs);

// Every key of the play command, its own and the list's, as the help shows
// them in reading order. A key added to the command is added here too; rank
// says which stay when the help has too little room (highest kept).
struct KeyHelp {
    const char* keys;
    const char* action;
    int rank;
};
extern const std::vector<KeyHelp> key_help_table;

// The help wrapped into lines of at most columns, no more than max_lines of
// them: when every key does not fit, the lowest-ranked are left out and the
// ? key, which shows them all, stays.
std::vector<std::string> key_help_lines(size_t columns, size_t max_lines);

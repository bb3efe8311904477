#pragma once
// The play command's keys as the window's commands: the same flag changes
// (player/commands.h), so the terminal drives the controller exactly as the
// window's buttons, switches and scales do.
//   space Play/Pause   s Stop   n p next and previous song   1 2 3 voices
//   + - speed          [ ] filter      < > (, .) 10 s back and forth in the song
//   q quit
// The play list's keys (the arrows, N and P) are the play command's own.
// Every other key, the cursor and function keys and any key with Alt among
// them, does nothing.
#include <cstdint>

#include "cli/key_decoder.h"

enum class KeyResult {
    ignored,       // not a key of ours
    handled,
    song_started,  // a start from the init routine: the song's time begins again
    quit,
};

// One scale step of a key press, in percent (the window's arrows step by 1,
// which is too fine for a key).
constexpr int32_t key_scale_step = 10;

// Space and s set the panel's Play button text, as the window's own buttons do.
// songs: the tune's song count, the range of n and p (they stop at the ends;
// a header that counts no songs offers none to step to).
KeyResult press_key(const Key& key, int32_t songs);

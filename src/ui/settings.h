#pragma once
// The persisted settings: six values under the key Software\Osket\Zarvel\Config
// of HKEY_CURRENT_USER, read once at start-up and written once, while the main
// window is destroyed.
#include <windows.h>

#include <atomic>
#include <cstdint>

// What only the Windows program keeps, beside the player's state.
struct WindowSettings {
    std::atomic<int32_t> always_on_top{0};
    std::atomic<int32_t> topmost_pending{0};  // topmost waits for the window's activation
    std::atomic<int32_t> window_left{-1};     // screen pixels; -1 no stored position
    std::atomic<int32_t> window_top{-1};
    char pending_path[260] = "";  // UI thread only: the tune handed over or dropped
};

extern WindowSettings window_settings;

// "midi_out", "extra_sids" (0 off, 1 frames), "changes_only" (0 or 1) and
// "oldpath" into player_state, "xpos", "ypos" and "ontop" into
// window_settings, and "songlengths" (the song-length database, REG_SZ) into
// songlengths_path; a missing key or value leaves the field at its start value
// (texts: empty).
void read_settings();

// The window's position, then all eight values. Nothing is written when the
// key cannot be created or opened.
void save_settings(HWND window);

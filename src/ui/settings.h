#pragma once
// The persisted settings: six values under the key Software\Osket\Zarvel\Config
// of HKEY_CURRENT_USER, read once at start-up and written once, while the main
// window is destroyed.
#include <windows.h>

// "midi_out", "xpos", "ypos", "ontop" and "oldpath" into player_state, and
// "songlengths" (the song-length database, REG_SZ) into songlengths_path; a
// missing key or value leaves the field at its start value (texts: empty).
void read_settings();

// The window's position, then all six values. Nothing is written when the
// key cannot be created or opened.
void save_settings(HWND window);

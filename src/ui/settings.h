#pragma once
// The persisted settings: five values under the key Software\Osket\Zarvel\Config
// of HKEY_CURRENT_USER, read once at start-up and written once, while the main
// window is destroyed.
#include <windows.h>

// "midi_out", "xpos", "ypos", "ontop" and "oldpath" into player_state; a
// missing key or value leaves the field at its start value ("oldpath": empty).
void read_settings();

// The window's position, then all five values. Nothing is written when the
// key cannot be created or opened.
void save_settings(HWND window);

#pragma once
// The Preferences dialog (111): the MIDI output device, always-on-top and
// the song-length database.
// Nothing changes until OK; CANCEL and the close box discard the choices.
#include <windows.h>

// Runs the dialog modally, owned by window.
void show_preferences(HWND window);

INT_PTR CALLBACK preferences_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// One line per MIDI output device, in device-id order (the mapper is not
// offered), and the current device selected when it still exists.
void fill_device_list(HWND dialog);

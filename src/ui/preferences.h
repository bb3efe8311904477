#pragma once
// The Preferences dialog (111): the MIDI output device, always-on-top and
// the song-length database.
// Nothing changes until OK; CANCEL and the close box discard the choices.
#include <windows.h>

// Runs the dialog modally, owned by window.
void show_preferences(HWND window);

INT_PTR CALLBACK preferences_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

// One line per MIDI output device, in device-id order (the mapper is not
// offered), and the current device selected when it still exists. With no
// device, one line that says so, and the list takes no choice.
void fill_device_list(HWND dialog);

// With no device chosen (midi_out_device -1, as at the first start), chooses
// the output that will be used, so that Preferences shows it: the first that
// is not the system's built-in software synthesizer, else the first. With no
// output at all nothing is chosen.
void choose_first_output();

// Once per run: when the output to be used is the MIDI mapper or the
// built-in software synthesizer, which both drop SysEx, a warning box owned
// by window says that it cannot sound SID frames.
void warn_if_output_cannot_sound(HWND window);

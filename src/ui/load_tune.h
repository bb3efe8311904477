#pragma once
// The Load command: the Open dialog (or a given path), the stop-and-wait and
// the loader, then the tune's texts in the information list and its songs in
// the selector. A file that would not load is refused before anything stops,
// with a message that names it and the reason, and the loaded tune stays.
#include <windows.h>

// path: a dropped file or the command-line path; nullptr asks with the Open
// dialog, and a cancelled dialog changes nothing. With play, a tune that
// loads also starts (a tune opened from the desktop).
void load_tune(HWND window, const char* path, bool play = false);

// What a failed load leaves when no tune stays loaded: the warning box with
// message, the Play button reading "Play", and "No loaded tune.".
void show_load_failure(HWND window, const char* message);

// The warning box for result alone, for a file refused before any load.
void show_load_warning(HWND window, int result);

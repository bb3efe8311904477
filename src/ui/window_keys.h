#pragma once
// The command line's keys in the window: space Play/Pause, N and P the next
// and previous song, 1 2 3 the voice switches, + and - the speed. Each works
// the window's own control, so a key does exactly what its control does.
#include <windows.h>

// Takes the keys of window and its controls from the dialog's message loop,
// before the focused control sees them (space would click it, a digit would
// pick a song in the selector). Keys with Ctrl or Alt are left to others.
// Once, at initialisation; remove_window_keys when the window is destroyed.
void install_window_keys(HWND window);
void remove_window_keys();

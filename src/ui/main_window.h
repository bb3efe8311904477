#pragma once
// The main window (dialog 101): buttons, scales, voice switches and the song
// selector turned into the player's commands, dropped files into loads, and
// the window's always-on-top state.
#include <windows.h>

INT_PTR CALLBACK main_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// topmost_pending := always_on_top. Not-topmost is applied at once; topmost
// by the topmost step at the end of the message being handled.
void apply_topmost_setting(HWND window);

// While a modal dialog of this window runs, nothing may change the z-order.
void clear_topmost_pending();

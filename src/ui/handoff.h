#pragma once
// A tune opened while Zarvel already runs (a double-click on a .sid file, a
// file dropped on the program's icon): the new copy hands the path to the
// running copy and ends, and the running copy loads the tune and plays it.
#include <windows.h>

#include "ui/command_line.h"

// In a copy that found the single-instance mutex taken. Hands over what the
// argument gave (nothing to do for ArgumentResult::none), waiting while the
// running copy has no window yet. Returns false only when the running copy
// ended meanwhile: this copy then owns the mutex and starts as the only one.
bool hand_over_tune(HANDLE mutex, ArgumentResult argument, const char* path);

// The main window's side. WM_COPYDATA from another copy: keeps the path and
// posts WM_ZARVEL_HANDED_TUNE; returns false for data that is not a handoff.
bool take_handed_tune(HWND window, const COPYDATASTRUCT* data);

// WM_ZARVEL_HANDED_TUNE and the retry timer: loads and plays the handed tune
// once the window is free. While one of its dialogs or message boxes is open
// the window is disabled, and a load then could overwrite the Open dialog's
// path or end up under another load's message; it waits for them instead.
void play_handed_tune(HWND window);

constexpr UINT_PTR handoff_timer_id = 1;

#pragma once
// The About box (140): the icon, the name and version, and OK.
#include <windows.h>

// Runs the box modally, owned by window.
void show_about(HWND window);

INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

#pragma once
// The Win32 side of PanelCalls: warning boxes, and the two controls that the
// playback worker and the stream callback write (label 108, the Play button).
#include <windows.h>

// Installs the Win32 calls for the player and the MIDI link. Once, before
// the main window exists. A song's end is posted as WM_ZARVEL_SONG_END.
void install_win32_panel();

// The Play button's text, from any thread. On the window's own thread it is
// set at once; from any other it is handed over by a posted message.
void set_play_button_text(HWND window, const char* text);

// The main window's handling of the messages posted above: true when message
// was one of them (its text is then in the control).
bool show_posted_text(HWND window, UINT message);

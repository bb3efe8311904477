#pragma once
// What the portable player and MIDI link ask of the front panel: a warning
// box, the rate label and the Play button's text. The Windows program installs
// Win32 calls, the command-line player its terminal, tests a recorder. Nothing
// below src/ui includes a Win32 UI header.
//
// The label and button calls come from the worker and the stream callback
// while the UI thread may be waiting on them, so an installed implementation
// must complete without the UI thread's help (post, do not send).

#include <cstdint>

#include "midi/window_handle.h"

struct PanelCalls {
    // Blocks until the user has dismissed the box.
    void (*show_warning)(WindowHandle owner, const char* text, const char* caption);
    void (*set_rate_label)(WindowHandle window, const char* text);
    void (*set_play_button_text)(WindowHandle window, const char* text);
    // The current song has played its length and stopped (song_ended): the
    // front end may take it and choose what follows. From the stream callback.
    void (*song_ended)(WindowHandle window);
};

// Replaces the panel; calls made with none installed do nothing.
void install_panel(const PanelCalls& calls);

void panel_show_warning(WindowHandle owner, const char* text, const char* caption);
void panel_set_rate_label(WindowHandle window, const char* text);
void panel_set_play_button_text(WindowHandle window, const char* text);
void panel_song_ended(WindowHandle window);

// Label 108: "%i Hz" of the play rate at the speed setting, rounded to whole
// Hz (rate_label_number_hz, play_rate.h).
void write_rate_label(WindowHandle window);

// The Hz value label 108 shows: the last one written, or 50, the label's text
// in a freshly installed panel.
int32_t rate_label_hz();

#pragma once
// The command line's panel: what the controller asks of a front panel (a
// warning, the rate label, the Play button's text), kept for the play
// command's own thread to show. The worker and the stream callback call in
// from their threads while the main thread may be waiting on them, so
// nothing here waits for the main thread; it only stores the texts.

struct PanelTexts {
    char rate_label[16];    // "%i Hz", as the window's label 108 would show it
    char play_button[8];    // "Play" or "Pause"
    char warning[96];       // the first warning not yet taken; empty when none
    char caption[16];
};

// Installs the panel with the start texts of the window ("50 Hz", "Play").
void install_terminal_panel();

// A copy of the texts as they stand.
PanelTexts read_terminal_panel();

// The first warning since the last call (copied into text), then forgets it;
// false when there was none.
bool take_terminal_warning(char (&text)[96]);

#include "player/panel.h"

#include <cstdio>

#include "player/player_state.h"

namespace {
PanelCalls installed{};
}

void install_panel(const PanelCalls& calls) { installed = calls; }

void panel_show_warning(WindowHandle owner, const char* text, const char* caption) {
    if (installed.show_warning) installed.show_warning(owner, text, caption);
}

void panel_set_rate_label(WindowHandle window, const char* text) {
    if (installed.set_rate_label) installed.set_rate_label(window, text);
}

void panel_set_play_button_text(WindowHandle window, const char* text) {
    if (installed.set_play_button_text) installed.set_play_button_text(window, text);
}

void write_rate_label(WindowHandle window) {
    char text[16];
    std::snprintf(text, sizeof text, "%i Hz",
                  static_cast<int>(player_state.play_rate_hz * player_state.speed_percent / 100));
    panel_set_rate_label(window, text);
}

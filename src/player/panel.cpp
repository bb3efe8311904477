#include "player/panel.h"

#include <atomic>
#include <cstdio>

#include "player/play_rate.h"

namespace {
PanelCalls installed{};
constexpr int32_t label_template_hz = 50;
std::atomic<int32_t> label_hz{label_template_hz};
}  // namespace

void install_panel(const PanelCalls& calls) {
    installed = calls;
    label_hz = label_template_hz;
}

void panel_show_warning(WindowHandle owner, const char* text, const char* caption) {
    if (installed.show_warning) installed.show_warning(owner, text, caption);
}

void panel_set_rate_label(WindowHandle window, const char* text) {
    if (installed.set_rate_label) installed.set_rate_label(window, text);
}

void panel_set_play_button_text(WindowHandle window, const char* text) {
    if (installed.set_play_button_text) installed.set_play_button_text(window, text);
}

void panel_song_ended(WindowHandle window) {
    if (installed.song_ended) installed.song_ended(window);
}

void write_rate_label(WindowHandle window) {
    int32_t hz = rate_label_number_hz();
    label_hz = hz;
    char text[16];
    std::snprintf(text, sizeof text, "%i Hz", static_cast<int>(hz));
    panel_set_rate_label(window, text);
}

int32_t rate_label_hz() { return label_hz; }

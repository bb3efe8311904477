#include "cli/terminal_panel.h"

#include <cstdio>
#include <mutex>

#include "player/panel.h"

namespace {

std::mutex texts_lock;
PanelTexts texts;

template <size_t n>
void copy_text(char (&to)[n], const char* from) {
    std::snprintf(to, n, "%s", from ? from : "");
}

void show_warning(WindowHandle, const char* text, const char* caption) {
    std::lock_guard<std::mutex> lock(texts_lock);
    // The first one names the cause; a second is its consequence.
    if (texts.warning[0] != '\0') return;
    copy_text(texts.warning, text);
    copy_text(texts.caption, caption);
}

void set_rate_label(WindowHandle, const char* text) {
    std::lock_guard<std::mutex> lock(texts_lock);
    copy_text(texts.rate_label, text);
}

void set_play_button_text(WindowHandle, const char* text) {
    std::lock_guard<std::mutex> lock(texts_lock);
    copy_text(texts.play_button, text);
}

}  // namespace

void install_terminal_panel() {
    {
        std::lock_guard<std::mutex> lock(texts_lock);
        texts = PanelTexts{};
        copy_text(texts.rate_label, "50 Hz");
        copy_text(texts.play_button, "Play");
    }
    install_panel({show_warning, set_rate_label, set_play_button_text});
}

PanelTexts read_terminal_panel() {
    std::lock_guard<std::mutex> lock(texts_lock);
    return texts;
}

bool take_terminal_warning(char (&text)[96]) {
    std::lock_guard<std::mutex> lock(texts_lock);
    if (texts.warning[0] == '\0') return false;
    copy_text(text, texts.warning);
    texts.warning[0] = '\0';
    return true;
}

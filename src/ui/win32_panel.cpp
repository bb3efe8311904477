#include "ui/win32_panel.h"

#include "player/panel.h"
#include "ui/latest_text.h"
#include "ui/resource_ids.h"

namespace {

LatestText rate_label_text;
LatestText play_button_text;

struct PostedControl {
    LatestText& text;
    int control_id;
    UINT message;
};
const PostedControl rate_label{rate_label_text, IDC_RATE_LABEL, WM_ZARVEL_RATE_LABEL};
const PostedControl play_button{play_button_text, IDC_PLAY, WM_ZARVEL_PLAY_TEXT};

void copy_into_control(HWND window, const PostedControl& control) {
    char text[LatestText::capacity];
    control.text.copy(text, sizeof text);
    SetDlgItemTextA(window, control.control_id, text);
}

// SetWindowText from another thread is a SendMessage to the UI thread, and
// the UI thread may be sleeping in a wait that only this thread can end.
void update_control(HWND window, const PostedControl& control, const char* text) {
    if (window == nullptr) return;
    control.text.store(text);
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        copy_into_control(window, control);
    } else if (control.text.claim_post()) {
        if (!PostMessageA(window, control.message, 0, 0)) control.text.release_post();
    }
}

void show_warning(WindowHandle owner, const char* text, const char* caption) {
    MessageBoxA(static_cast<HWND>(owner), text, caption, MB_ICONWARNING | MB_OK);
}

void set_rate_label(WindowHandle window, const char* text) {
    update_control(static_cast<HWND>(window), rate_label, text);
}

void set_play_text(WindowHandle window, const char* text) {
    update_control(static_cast<HWND>(window), play_button, text);
}

// From the stream callback, which must never wait for the UI thread; the
// window decides what follows once it gets to the message.
void tell_song_end(WindowHandle window) {
    if (window != nullptr) PostMessageA(static_cast<HWND>(window), WM_ZARVEL_SONG_END, 0, 0);
}

}  // namespace

void install_win32_panel() {
    install_panel(PanelCalls{show_warning, set_rate_label, set_play_text, tell_song_end});
}

void set_play_button_text(HWND window, const char* text) { update_control(window, play_button, text); }

bool show_posted_text(HWND window, UINT message) {
    for (const PostedControl* control : {&rate_label, &play_button}) {
        if (message != control->message) continue;
        control->text.release_post();
        copy_into_control(window, *control);
        return true;
    }
    return false;
}

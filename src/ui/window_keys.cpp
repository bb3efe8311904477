#include "ui/window_keys.h"

#include <cstdint>

#include "player/commands.h"
#include "player/player_state.h"
#include "player/tune_info.h"
#include "ui/resource_ids.h"

namespace {

constexpr int32_t key_speed_step = 10;  // percent: the scale's arrows step by 1, too fine for a key

HWND keys_window = nullptr;
HHOOK dialog_filter = nullptr;

void click(int id) { SendMessageA(GetDlgItem(keys_window, id), BM_CLICK, 0, 0); }

// As the user picks the song in the selector: the selection, then the
// notification the selector sends.
void step_song(int32_t step) {
    int32_t song = player_state.current_song + step;
    if (!player_state.tune_loaded || song < 1 || song > tune_info.songs) return;
    HWND selector = GetDlgItem(keys_window, IDC_SONG);
    SendMessageA(selector, CB_SETCURSEL, static_cast<WPARAM>(song - 1), 0);
    SendMessageA(keys_window, WM_COMMAND, MAKEWPARAM(IDC_SONG, CBN_SELCHANGE), reinterpret_cast<LPARAM>(selector));
}

// As a drag of the speed scale's thumb; the scale keeps it within its bounds.
void step_speed(int32_t step) {
    int32_t thumb = player_state.speed_percent + step;
    SendMessageA(keys_window, WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, thumb < 0 ? 0 : thumb),
                 reinterpret_cast<LPARAM>(GetDlgItem(keys_window, IDC_SPEED_SCALE)));
}

bool held(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// True when the key is one of ours and taken. A held key repeats; only the
// speed keys act on the repeats.
bool take_key(WPARAM key, LPARAM flags) {
    bool repeat = (flags & (1 << 30)) != 0;
    switch (key) {
        case VK_SPACE:
            if (!repeat) click(IDC_PLAY);
            return true;
        case 'N':
            if (!repeat) step_song(+1);
            return true;
        case 'P':
            if (!repeat) step_song(-1);
            return true;
        case '1': case '2': case '3':
            if (!repeat) click(IDC_VOICE1 + static_cast<int>(key - '1'));
            return true;
        case VK_NUMPAD1: case VK_NUMPAD2: case VK_NUMPAD3:
            if (!repeat) click(IDC_VOICE1 + static_cast<int>(key - VK_NUMPAD1));
            return true;
        case VK_OEM_PLUS:  // "+" and "=" share it on most layouts
        case VK_ADD:
            step_speed(+key_speed_step);
            return true;
        case VK_OEM_MINUS:
        case VK_SUBTRACT:
            step_speed(-key_speed_step);
            return true;
        default:
            return false;
    }
}

LRESULT CALLBACK filter_dialog_message(int code, WPARAM wparam, LPARAM lparam) {
    auto* message = reinterpret_cast<MSG*>(lparam);
    if (code == MSGF_DIALOGBOX && keys_window != nullptr &&
        (message->hwnd == keys_window || IsChild(keys_window, message->hwnd)) && !held(VK_CONTROL) &&
        !held(VK_MENU)) {
        if (message->message == WM_KEYDOWN && take_key(message->wParam, message->lParam)) return TRUE;
        // A button clicks on the release of space; its press was taken.
        if (message->message == WM_KEYUP && message->wParam == VK_SPACE) return TRUE;
    }
    // Ctrl+Left and Ctrl+Right seek; the title shows the new time with the
    // song time timer's next tick.
    if (code == MSGF_DIALOGBOX && keys_window != nullptr && message->message == WM_KEYDOWN &&
        (message->wParam == VK_LEFT || message->wParam == VK_RIGHT) && held(VK_CONTROL) && !held(VK_MENU) &&
        GetAncestor(message->hwnd, GA_ROOT) == keys_window) {
        seek_by(message->wParam == VK_LEFT ? -seek_step_ms : seek_step_ms);
        return TRUE;
    }
    return CallNextHookEx(dialog_filter, code, wparam, lparam);
}

}  // namespace

void install_window_keys(HWND window) {
    keys_window = window;
    dialog_filter = SetWindowsHookExA(WH_MSGFILTER, filter_dialog_message, nullptr, GetCurrentThreadId());
}

void remove_window_keys() {
    if (dialog_filter != nullptr) UnhookWindowsHookEx(dialog_filter);
    dialog_filter = nullptr;
    keys_window = nullptr;
}

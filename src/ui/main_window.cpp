#include "ui/main_window.h"

#include <shellapi.h>

#include <cstdint>

#include "player/commands.h"
#include "player/load_message.h"
#include "player/panel.h"
#include "player/playback_controller.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/scale_bounds.h"
#include "ui/about.h"
#include "ui/command_line.h"
#include "ui/handoff.h"
#include "ui/load_tune.h"
#include "ui/preferences.h"
#include "ui/resource_ids.h"
#include "ui/settings.h"
#include "ui/song_lengths_choice.h"
#include "ui/win32_panel.h"
#include "ui/window_keys.h"

namespace {

constexpr DWORD worker_stack_bytes = 4096;

DWORD WINAPI worker_thread(LPVOID window) {
    playback_worker(window);
    return 0;
}

void show_percent(HWND window, int label_id, int32_t percent) {
    char text[16];
    wsprintfA(text, "%i%%", percent);
    SetDlgItemTextA(window, label_id, text);
}

void initialise(HWND window) {
    DragAcceptFiles(window, TRUE);

    HANDLE worker = CreateThread(nullptr, worker_stack_bytes, worker_thread, window, 0, nullptr);
    if (worker == nullptr) {
        // Every load waits for the worker; without it the window could only hang.
        MessageBoxA(window, "Could not start the player.", "Cancel", MB_ICONWARNING | MB_OK);
        EndDialog(window, 0);
        return;
    }
    CloseHandle(worker);

    HWND filter_scale = GetDlgItem(window, IDC_FILTER_SCALE);
    HWND speed_scale = GetDlgItem(window, IDC_SPEED_SCALE);
    SetScrollRange(filter_scale, SB_CTL, scale_min_percent, scale_max_percent, TRUE);
    SetScrollRange(speed_scale, SB_CTL, scale_min_percent, scale_max_percent, TRUE);
    SetScrollPos(filter_scale, SB_CTL, player_state.filter_percent, TRUE);
    SetScrollPos(speed_scale, SB_CTL, player_state.speed_percent, TRUE);

    CheckDlgButton(window, IDC_VOICE1, BST_CHECKED);
    CheckDlgButton(window, IDC_VOICE2, BST_CHECKED);
    CheckDlgButton(window, IDC_VOICE3, BST_CHECKED);

    if (window_settings.window_left >= 0) {
        SetWindowPos(window, nullptr, window_settings.window_left, window_settings.window_top, 0, 0, SWP_NOSIZE);
    }

    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_ZARVEL));
    SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));

    choose_first_output();

    // An argument too long for pending_path names no file this program can open.
    if (command_line_argument == ArgumentResult::too_long) {
        show_load_failure(window, load_failure_box_text(LOAD_CANNOT_OPEN));
    } else if (window_settings.pending_path[0] != '\0') {
        load_tune(window, window_settings.pending_path, command_line_play);
    }

    install_window_keys(window);
    apply_topmost_setting(window);
    SetTimer(window, song_time_timer_id, song_time_timer_ms, nullptr);
}

// Exit and the close box alike: the synthesizer hears the mute frames
// before the stream closes, or its notes would hang on.
void end_program(HWND window) {
    close_playback(window);
    EndDialog(window, 0);
}

void change_song(HWND window) {
    LRESULT selected = SendDlgItemMessageA(window, IDC_SONG, CB_GETCURSEL, 0, 0);
    // No selection (-1) becomes song 0, which no tune's selector offers.
    choose_song(static_cast<uint16_t>(selected + 1));
}

// Opens one of this window's modal dialogs without letting the messages
// handled meanwhile touch the z-order, then restores the setting.
void run_modal(HWND window, void (*open)(HWND)) {
    clear_topmost_pending();
    open(window);
    apply_topmost_setting(window);
}

void command(HWND window, int id) {
    switch (id) {
        case IDC_EXIT:
            end_program(window);
            break;
        case IDC_PLAY:
            if (const char* text = press_play()) {
                set_play_button_text(window, text);
                if (playback_on()) warn_if_output_cannot_sound(window);
            }
            break;
        case IDC_STOP:
            if (const char* text = press_stop()) set_play_button_text(window, text);
            break;
        case IDC_LOAD:
            run_modal(window, [](HWND owner) { load_tune(owner, nullptr); });
            break;
        case IDC_ABOUT:
            run_modal(window, show_about);
            break;
        case IDC_CONF:
            run_modal(window, show_preferences);
            if (playback_on()) warn_if_output_cannot_sound(window);
            break;
        case IDC_VOICE1:
        case IDC_VOICE2:
        case IDC_VOICE3:
            // The push-like check box flips its own mark.
            toggle_voice(id - IDC_VOICE1);
            break;
        case IDC_SONG:
            change_song(window);
            break;
        default:  // IDCANCEL (Escape) among them: the window stays
            break;
    }
}

void scroll(HWND window, HWND bar, int code, int thumb) {
    if (bar == GetDlgItem(window, IDC_SPEED_SCALE)) {
        player_state.speed_percent = scroll_scale(player_state.speed_percent, code, thumb);
        show_percent(window, IDC_SPEED_LABEL, player_state.speed_percent);
        write_rate_label(window);
        SetScrollPos(bar, SB_CTL, player_state.speed_percent, TRUE);
    } else if (bar == GetDlgItem(window, IDC_FILTER_SCALE)) {
        player_state.filter_percent = scroll_scale(player_state.filter_percent, code, thumb);
        show_percent(window, IDC_FILTER_LABEL, player_state.filter_percent);
        SetScrollPos(bar, SB_CTL, player_state.filter_percent, TRUE);
    }
}

void drop_files(HWND window, HDROP drop) {
    // Only the first file of a drop counts; the API cuts a longer path to fit.
    DragQueryFileA(drop, 0, window_settings.pending_path, tune_path_size);
    DragFinish(drop);
    load_tune(window, window_settings.pending_path);
}

void topmost_step(HWND window) {
    if (window_settings.topmost_pending == 1) {
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        window_settings.topmost_pending = 0;
    }
}

}  // namespace

void apply_topmost_setting(HWND window) {
    window_settings.topmost_pending = window_settings.always_on_top.load();
    if (window_settings.always_on_top == 0) {
        SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
}

void clear_topmost_pending() { window_settings.topmost_pending = 0; }

INT_PTR CALLBACK main_dialog_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_INITDIALOG:
            initialise(window);
            break;
        case WM_COMMAND:
            command(window, LOWORD(wparam));
            break;
        case WM_HSCROLL:
            scroll(window, reinterpret_cast<HWND>(lparam), LOWORD(wparam), HIWORD(wparam));
            break;
        case WM_DROPFILES:
            drop_files(window, reinterpret_cast<HDROP>(wparam));
            break;
        case WM_COPYDATA:
            // A dialog procedure hands back a message's result this way.
            SetWindowLongPtrA(window, DWLP_MSGRESULT,
                              take_handed_tune(window, reinterpret_cast<const COPYDATASTRUCT*>(lparam)));
            break;
        case WM_ZARVEL_HANDED_TUNE:
            play_handed_tune(window);
            break;
        case WM_TIMER:
            if (wparam == handoff_timer_id) play_handed_tune(window);
            if (wparam == song_time_timer_id) show_song_time(window);
            break;
        case WM_ZARVEL_SONG_END:
            follow_song_end(window);
            break;
        case WM_CLOSE:
            end_program(window);
            break;
        case WM_ENDSESSION:
            // The process may end as soon as this returns, without the
            // window being destroyed: the stream and the settings now.
            if (wparam) {
                close_playback(window);
                save_settings(window);
            }
            break;
        case WM_DESTROY:
            remove_window_keys();
            save_settings(window);
            break;
        default:
            // The label and button texts that other threads handed over.
            return show_posted_text(window, message) ? TRUE : FALSE;
    }
    topmost_step(window);
    return TRUE;
}

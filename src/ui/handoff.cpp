#include "ui/handoff.h"

#include <cstring>

#include "player/psid_loader.h"
#include "ui/load_tune.h"
#include "ui/resource_ids.h"

namespace {

// dwData of the two handoffs, so that no other program's WM_COPYDATA is
// taken for one.
constexpr ULONG_PTR handoff_path = 0x5A52564C;      // "ZRVL": the path and its terminating zero
constexpr ULONG_PTR handoff_too_long = 0x5A52564D;  // an argument too long for a path; no data

constexpr DWORD window_wait_ms = 10000;  // the running copy may still be starting
constexpr DWORD poll_ms = 50;
constexpr UINT send_timeout_ms = 5000;
constexpr UINT retry_ms = 100;

// What the main window was handed and has not loaded yet; a later handoff
// replaces it.
struct HandedTune {
    bool waiting = false;
    bool too_long = false;
    char path[tune_path_size] = {};
};
HandedTune handed;

// The main window's title: "Zarvel", or "Zarvel - " and the song's time
// while a song plays.
bool has_main_title(HWND window) {
    char title[64];
    int length = GetWindowTextA(window, title, sizeof title);
    return (length == 6 || (length > 9 && std::strncmp(title + 6, " - ", 3) == 0)) &&
           std::strncmp(title, "Zarvel", 6) == 0;
}

// The running copy's main window: a dialog with the main window's title and
// the player's controls (a folder or another program may be titled Zarvel too).
HWND find_main_window() {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, MAKEINTATOM(0x8002), nullptr)) != nullptr) {
        if (has_main_title(window) && GetDlgItem(window, IDC_PLAY) && GetDlgItem(window, IDC_SONG)) return window;
    }
    return nullptr;
}

}  // namespace

bool hand_over_tune(HANDLE mutex, ArgumentResult argument, const char* path) {
    if (argument == ArgumentResult::none) return true;
    COPYDATASTRUCT data{};
    if (argument == ArgumentResult::too_long) {
        data.dwData = handoff_too_long;
    } else {
        data.dwData = handoff_path;
        data.cbData = static_cast<DWORD>(std::strlen(path) + 1);
        data.lpData = const_cast<char*>(path);
    }

    DWORD start = GetTickCount();
    while (GetTickCount() - start < window_wait_ms) {
        if (HWND window = find_main_window()) {
            DWORD_PTR taken = FALSE;
            if (SendMessageTimeoutA(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                                    send_timeout_ms, &taken) &&
                taken) {
                // The user started this copy, so it may give the foreground
                // to the window that now plays the tune.
                if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
                SetForegroundWindow(window);
                return true;
            }
        }
        // The running copy never releases the mutex; when it ends, the wait
        // returns it abandoned, and owned by this copy.
        DWORD state = WaitForSingleObject(mutex, poll_ms);
        if (state == WAIT_OBJECT_0 || state == WAIT_ABANDONED) return false;
    }
    return true;  // no window answered: leave, as a second copy always has
}

bool take_handed_tune(HWND window, const COPYDATASTRUCT* data) {
    if (data == nullptr) return false;
    if (data->dwData == handoff_too_long) {
        handed.too_long = true;
    } else if (data->dwData == handoff_path) {
        // Another process's bytes: only a zero-terminated path that fits.
        const char* bytes = static_cast<const char*>(data->lpData);
        if (bytes == nullptr || data->cbData < 2 || data->cbData > tune_path_size) return false;
        if (std::memchr(bytes, '\0', data->cbData) != bytes + data->cbData - 1) return false;
        std::memcpy(handed.path, bytes, data->cbData);
        handed.too_long = false;
    } else {
        return false;
    }
    handed.waiting = true;
    PostMessageA(window, WM_ZARVEL_HANDED_TUNE, 0, 0);
    return true;
}

void play_handed_tune(HWND window) {
    if (handed.waiting && !IsWindowEnabled(window)) {
        SetTimer(window, handoff_timer_id, retry_ms, nullptr);
        return;
    }
    KillTimer(window, handoff_timer_id);
    if (!handed.waiting) return;
    handed.waiting = false;
    if (handed.too_long) {
        // No file this program can open: said, and the tune that plays
        // goes on.
        show_load_warning(window, LOAD_CANNOT_OPEN);
    } else {
        load_tune(window, handed.path, true);
    }
}

#include "ui/settings.h"

#include <cstring>

#include "player/player_state.h"
#include "ui/song_lengths_choice.h"

WindowSettings window_settings;

namespace {

const char settings_key[] = "Software\\Osket\\Zarvel\\Config";

// The stored type is not looked at, but a value must be exactly the 4 bytes
// of a DWORD: a shorter one would fill only part of the word.
void read_word(HKEY key, const char* name, std::atomic<int32_t>& field) {
    int32_t value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        size == sizeof value) {
        field = value;
    }
}

void write_word(HKEY key, const char* name, int32_t value) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// A text value into a buffer of size bytes, always terminated: a value
// without a zero (binary, or edited by hand) is cut at the buffer's end.
// A missing one leaves the buffer empty.
void read_text(HKEY key, const char* name, char* text, DWORD size) {
    DWORD got = size;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &got) != ERROR_SUCCESS)
        text[0] = '\0';
    text[size - 1] = '\0';
}

}  // namespace

void read_settings() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, settings_key, 0, KEY_READ, &key) != ERROR_SUCCESS) return;

    read_word(key, "midi_out", player_state.midi_out_device);
    read_word(key, "extra_sids", player_state.extra_sids);
    read_word(key, "changes_only", player_state.changes_only);
    // Only the values this program writes; "ports" is not one it plays.
    if (player_state.extra_sids != EXTRA_SIDS_FRAMES) player_state.extra_sids = EXTRA_SIDS_OFF;
    if (player_state.changes_only != 1) player_state.changes_only = 0;
    read_word(key, "xpos", window_settings.window_left);
    read_word(key, "ypos", window_settings.window_top);
    read_word(key, "ontop", window_settings.always_on_top);

    // A value of 260 bytes without a zero among them would leave the path
    // unterminated for the Open dialog.
    read_text(key, "oldpath", player_state.tune_path, sizeof player_state.tune_path);
    read_text(key, "songlengths", songlengths_path, sizeof songlengths_path);
    RegCloseKey(key);
}

void save_settings(HWND window) {
    RECT frame;
    if (GetWindowRect(window, &frame)) {
        window_settings.window_top = frame.top;
        window_settings.window_left = frame.left;
    }

    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, settings_key, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, &security, &key, &disposition) != ERROR_SUCCESS) {
        return;
    }
    write_word(key, "midi_out", player_state.midi_out_device);
    write_word(key, "extra_sids", player_state.extra_sids);
    write_word(key, "changes_only", player_state.changes_only);
    write_word(key, "xpos", window_settings.window_left);
    write_word(key, "ypos", window_settings.window_top);
    write_word(key, "ontop", window_settings.always_on_top);
    // The whole buffer, so "oldpath" always holds 260 bytes.
    RegSetValueExA(key, "oldpath", 0, REG_SZ, reinterpret_cast<const BYTE*>(player_state.tune_path),
                   sizeof player_state.tune_path);
    RegSetValueExA(key, "songlengths", 0, REG_SZ, reinterpret_cast<const BYTE*>(songlengths_path),
                   static_cast<DWORD>(std::strlen(songlengths_path) + 1));
    RegCloseKey(key);
}

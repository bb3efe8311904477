#include "ui/song_lengths_choice.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>

#include "collection/song_lengths.h"
#include "collection/tune_md5.h"
#include "player/commands.h"
#include "player/panel.h"
#include "player/playback_controller.h"
#include "player/player_state.h"
#include "player/tune_info.h"
#include "ui/resource_ids.h"
#include "ui/win32_panel.h"

char songlengths_path[songlengths_path_size];

namespace {

// A PSID tune has at most 256 songs. Written by the UI thread before a load,
// read by whichever thread starts a song: a start of the tune being replaced
// may read them mid-change, and is stopped by the load anyway.
constexpr int32_t most_songs = 256;
std::atomic<int32_t> tune_lengths_ms[most_songs];
std::atomic<int32_t> tune_songs_listed{0};

int32_t tune_length_ms(int32_t song) {
    if (song < 1 || song > tune_songs_listed) return unknown_length_ms;
    return tune_lengths_ms[song - 1];
}

}  // namespace

void install_song_lengths_choice() { install_song_length_lookup(tune_length_ms); }

void look_up_tune_lengths(const char* tune_path) {
    tune_songs_listed = 0;
    if (songlengths_path[0] == '\0') return;
    // Loaded once per process and kept: the next tune finds it in memory.
    SongLengthsLoad load = load_song_lengths(songlengths_path);
    Md5Digest md5;
    int error;
    if (!load.database || !md5_of_file(tune_path, md5, error)) return;
    std::span<const int32_t> lengths = load.database->lengths_ms(md5);
    int32_t songs = static_cast<int32_t>(lengths.size() < most_songs ? lengths.size() : most_songs);
    for (int32_t i = 0; i < songs; ++i) tune_lengths_ms[i] = lengths[static_cast<size_t>(i)];
    tune_songs_listed = songs;
}

bool check_song_lengths_file(HWND window, const char* path) {
    SongLengthsLoad load = load_song_lengths(path);
    if (!load.database) {
        panel_show_warning(window, "Couldn't read the song lengths.", "OK");
        return false;
    }
    std::string warning = song_lengths_warning(path, *load.database);
    if (!warning.empty()) panel_show_warning(window, warning.c_str(), "OK");
    return true;
}

void follow_song_end(HWND window) {
    if (!take_song_end()) return;  // the user has done something since
    int32_t next = player_state.current_song + 1;
    if (next >= 1 && next <= tune_info.songs) {
        if (const char* text = play_song(next)) {
            SendDlgItemMessageA(window, IDC_SONG, CB_SETCURSEL, static_cast<WPARAM>(next - 1), 0);
            set_play_button_text(window, text);
        }
    } else {
        // The controller has already stopped as Stop does, mute frames and all.
        set_play_button_text(window, "Play");
    }
    show_song_time(window);
}

void show_song_time(HWND window) {
    char title[64] = "Zarvel";
    int32_t length = player_state.song_length_ms;
    // An end not yet taken counts as playing: the next song is on its way.
    if (player_state.tune_loaded && (player_state.paused || player_state.song_ended || playback_on())) {
        std::string elapsed = format_song_time(player_state.song_time_ms);
        if (length > 0) {
            std::string total = format_song_time(length);
            wsprintfA(title, "Zarvel - %s / %s", elapsed.c_str(), total.c_str());
        } else {
            wsprintfA(title, "Zarvel - %s", elapsed.c_str());
        }
    }
    char shown[64];
    if (GetWindowTextA(window, shown, sizeof shown) == 0 || std::strcmp(shown, title) != 0)
        SetWindowTextA(window, title);
}

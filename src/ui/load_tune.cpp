#include "ui/load_tune.h"

#include <commdlg.h>

#include <cstring>
#include <string>

#include "player/commands.h"
#include "player/control_frames.h"
#include "player/load_message.h"
#include "player/panel.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/tune_info.h"
#include "ui/command_line.h"
#include "ui/preferences.h"
#include "ui/resource_ids.h"
#include "ui/song_lengths_choice.h"
#include "ui/win32_panel.h"

namespace {

// Only the first pair applies (filter index 0); a last zero ends the list.
const char open_filter[] = "PlaySid Files (*.sid)\0*.sid\0All Files (*.*)\0*.*\0";

// The dialog starts with the last path as its file name and writes the chosen
// path straight into tune_path.
bool ask_for_tune(HWND window) {
    OPENFILENAMEA dialog{};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = window;
    dialog.lpstrFilter = open_filter;
    dialog.nFilterIndex = 0;
    dialog.lpstrFile = player_state.tune_path;
    dialog.nMaxFile = tune_path_size;
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    dialog.lpstrDefExt = "sid";
    if (GetOpenFileNameA(&dialog)) return true;
    // The dialog refuses to open at all when its start name is not a valid
    // file name (a stored path with quotes in it, say). Without this the Load
    // button would do nothing until some other load replaced the path.
    if (CommDlgExtendedError() != FNERR_INVALIDFILENAME) return false;
    player_state.tune_path[0] = '\0';
    return GetOpenFileNameA(&dialog) != 0;
}

void show_tune(HWND window) {
    SendDlgItemMessageA(window, IDC_TUNE_INFO, LB_RESETCONTENT, 0, 0);
    for (const char(*field)[32] : {&tune_info.name, &tune_info.author, &tune_info.released}) {
        char line[sizeof *field + 1];
        std::string_view text = tune_text(*field);
        std::memcpy(line, text.data(), text.size());
        line[text.size()] = '\0';
        SendDlgItemMessageA(window, IDC_TUNE_INFO, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    }
    // Said once, with the tune: the other chips stay silent until Preferences
    // sends them.
    if (player_state.extra_sids == EXTRA_SIDS_OFF && tune_sid_count() > 1) {
        const char* note = tune_sid_count() > 2 ? "SIDs 2 and 3 not played: Conf, Extra SIDs"
                                                : "SID 2 not played: Conf, Extra SIDs";
        SendDlgItemMessageA(window, IDC_TUNE_INFO, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(note));
    }

    SendDlgItemMessageA(window, IDC_SONG, CB_RESETCONTENT, 0, 0);
    for (int song = 1; song <= tune_info.songs; ++song) {
        char item[8];
        wsprintfA(item, "%i", song);
        SendDlgItemMessageA(window, IDC_SONG, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    // The loader keeps the start song within 1..songs, so one is always selected.
    SendDlgItemMessageA(window, IDC_SONG, CB_SETCURSEL, static_cast<WPARAM>(tune_info.start_song - 1), 0);
}

}  // namespace

void load_tune(HWND window, const char* path, bool play) {
    // The loaded tune's path, back in place when the new file is refused:
    // the song lengths and the stored "oldpath" go by it.
    char loaded_path[tune_path_size];
    std::memcpy(loaded_path, player_state.tune_path, sizeof loaded_path);
    if (path != nullptr) {
        if (path != player_state.tune_path) {
            std::strncpy(player_state.tune_path, path, tune_path_size - 1);
            player_state.tune_path[tune_path_size - 1] = '\0';
        }
    } else if (!ask_for_tune(window)) {
        return;
    }

    // Checked before anything stops: a file that is no tune leaves the one
    // loaded (and playing) as it was.
    LoadResult checked = check_psid_file(player_state.tune_path);
    if (checked != LOAD_OK) {
        std::string message = std::string(load_failure_box_text(checked)) + "\n\n" + player_state.tune_path +
                              "\n" + load_failure_message(checked);
        if (player_state.tune_loaded) {
            std::memcpy(player_state.tune_path, loaded_path, sizeof loaded_path);
            panel_show_warning(window, message.c_str(), "OK");
        } else {
            show_load_failure(window, message.c_str());
        }
        return;
    }
    look_up_tune_lengths(player_state.tune_path);
    LoadResult result = load_checked_tune(play);
    if (result == LOAD_OK) {
        show_tune(window);
        if (play) {
            set_play_button_text(window, "Pause");
            warn_if_output_cannot_sound(window);
        }
    } else {
        show_load_failure(window, load_failure_box_text(result));
    }
}

void show_load_warning(HWND window, int result) { panel_show_warning(window, load_failure_box_text(result), "OK"); }

void show_load_failure(HWND window, const char* message) {
    panel_show_warning(window, message, "OK");
    set_play_button_text(window, "Play");
    SendDlgItemMessageA(window, IDC_TUNE_INFO, LB_RESETCONTENT, 0, 0);
    SendDlgItemMessageA(window, IDC_TUNE_INFO, LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>("No loaded tune."));
}

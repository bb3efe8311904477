#include "ui/preferences.h"

#include <commdlg.h>
#include <mmsystem.h>

#include <cstring>

#include "player/player_state.h"
#include "ui/resource_ids.h"
#include "ui/settings.h"
#include "ui/song_lengths_choice.h"

namespace {
int32_t ontop_choice;  // always_on_top as the dialog will store it on OK
int32_t changes_only_choice;  // changes_only as OK will store it
UINT device_count;     // counted when the list was filled
MIDIOUTCAPSA device_caps;
char songlengths_choice[songlengths_path_size];  // songlengths_path as OK will store it

const char songlengths_filter[] = "Song lengths (*.md5)\0*.md5\0All Files (*.*)\0*.*\0";

void show_songlengths_choice(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_SONGLENGTHS_FILE,
                    songlengths_choice[0] != '\0' ? songlengths_choice : "No song lengths");
}

// The common Open dialog, starting at the current choice. A file that cannot
// be read is refused at once, with a message, rather than found out at the
// next tune.
void choose_songlengths(HWND dialog) {
    char path[songlengths_path_size];
    std::memcpy(path, songlengths_choice, sizeof path);
    OPENFILENAMEA open{};
    open.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    open.hwndOwner = dialog;
    open.lpstrFilter = songlengths_filter;
    open.lpstrFile = path;
    open.nMaxFile = sizeof path;
    open.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&open)) {
        if (CommDlgExtendedError() != FNERR_INVALIDFILENAME) return;
        path[0] = '\0';  // a start name the dialog refuses: start empty
        if (!GetOpenFileNameA(&open)) return;
    }
    if (!check_song_lengths_file(dialog, path)) return;
    std::memcpy(songlengths_choice, path, sizeof path);
    show_songlengths_choice(dialog);
}
}  // namespace

void show_preferences(HWND window) {
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_PREFERENCES), window,
                    preferences_dialog_proc, 0);
}

void fill_device_list(HWND dialog) {
    device_count = midiOutGetNumDevs();
    for (UINT id = 0; id < device_count; ++id) {
        // Every id gets its line, readable or not, so that a line's position
        // stays its device id; an unreadable one must not repeat the name
        // the record held for the device before it.
        if (midiOutGetDevCapsA(id, &device_caps, sizeof device_caps) != MMSYSERR_NOERROR) {
            wsprintfA(device_caps.szPname, "(device %u)", id);
        }
        device_caps.szPname[sizeof device_caps.szPname - 1] = '\0';
        SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, LB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(device_caps.szPname));
    }
    int32_t device = player_state.midi_out_device;
    if (device >= 0 && static_cast<UINT>(device) < device_count) {
        SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, LB_SETCURSEL, static_cast<WPARAM>(device), 0);
    }
}

INT_PTR CALLBACK preferences_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            if (window_settings.always_on_top == 1) CheckDlgButton(dialog, IDC_ALWAYS_ON_TOP, BST_CHECKED);
            ontop_choice = window_settings.always_on_top;
            fill_device_list(dialog);
            std::memcpy(songlengths_choice, songlengths_path, sizeof songlengths_choice);
            show_songlengths_choice(dialog);
            // Line position = the extra_sids value.
            SendDlgItemMessageA(dialog, IDC_EXTRA_SIDS, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Off"));
            SendDlgItemMessageA(dialog, IDC_EXTRA_SIDS, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Frames (0x50, 0x51)"));
            SendDlgItemMessageA(dialog, IDC_EXTRA_SIDS, CB_SETCURSEL,
                                player_state.extra_sids == EXTRA_SIDS_FRAMES ? 1 : 0, 0);
            changes_only_choice = player_state.changes_only;
            if (changes_only_choice == 1) CheckDlgButton(dialog, IDC_CHANGES_ONLY, BST_CHECKED);
            return TRUE;

        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDC_PREF_OK:
                    // LB_ERR is -1: no line selected stores "no device chosen".
                    player_state.midi_out_device = static_cast<int32_t>(
                        SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, LB_GETCURSEL, 0, 0));
                    window_settings.always_on_top = ontop_choice;
                    // From the next frame; a chip switched on while playing
                    // gets its whole state first.
                    player_state.extra_sids =
                        SendDlgItemMessageA(dialog, IDC_EXTRA_SIDS, CB_GETCURSEL, 0, 0) == 1 ? EXTRA_SIDS_FRAMES
                                                                                             : EXTRA_SIDS_OFF;
                    player_state.changes_only = changes_only_choice;
                    if (std::strcmp(songlengths_path, songlengths_choice) != 0) {
                        std::memcpy(songlengths_path, songlengths_choice, sizeof songlengths_path);
                        // The loaded tune's songs have their new lengths from their next start.
                        if (player_state.tune_loaded) look_up_tune_lengths(player_state.tune_path);
                    }
                    EndDialog(dialog, IDC_PREF_OK);
                    break;
                case IDC_PREF_CANCEL:
                    EndDialog(dialog, IDC_PREF_CANCEL);
                    break;
                case IDC_SONGLENGTHS_CHOOSE:
                    choose_songlengths(dialog);
                    break;
                case IDC_SONGLENGTHS_NONE:
                    songlengths_choice[0] = '\0';
                    show_songlengths_choice(dialog);
                    break;
                case IDC_ALWAYS_ON_TOP:
                    // The check box toggles its own mark.
                    ontop_choice = ontop_choice == 1 ? 0 : 1;
                    break;
                case IDC_CHANGES_ONLY:
                    changes_only_choice = changes_only_choice == 1 ? 0 : 1;
                    break;
                default:  // Escape's IDCANCEL among them: the dialog stays
                    break;
            }
            return TRUE;

        case WM_CLOSE:
            EndDialog(dialog, IDC_PREF_CANCEL);
            return TRUE;

        default:
            return FALSE;
    }
}

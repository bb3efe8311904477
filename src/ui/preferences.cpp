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

const char no_outputs_text[] = "No MIDI outputs found: connect the synthesizer";

// The software synthesizer every Windows installs, which the MIDI mapper
// leads to; it plays notes and drops SysEx, so a SID frame never sounds.
// Older systems call it "Microsoft GS Wavetable SW Synth".
const char builtin_synth_prefix[] = "Microsoft GS Wavetable";

bool silent_output_told = false;  // once per run

// Into device_caps.szPname, zero-terminated. An unreadable device must not
// repeat the name the record held for the device before it.
void read_device_name(UINT id) {
    if (midiOutGetDevCapsA(id, &device_caps, sizeof device_caps) != MMSYSERR_NOERROR) {
        wsprintfA(device_caps.szPname, "(device %u)", id);
    }
    device_caps.szPname[sizeof device_caps.szPname - 1] = '\0';
}

bool is_builtin_synth(const char* name) {
    return std::strncmp(name, builtin_synth_prefix, sizeof builtin_synth_prefix - 1) == 0;
}

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
    if (device_count == 0) {
        // A line that is no device: the list takes no choice, and OK stores none.
        SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(no_outputs_text));
        EnableWindow(GetDlgItem(dialog, IDC_DEVICE_LIST), FALSE);
        return;
    }
    for (UINT id = 0; id < device_count; ++id) {
        read_device_name(id);
        SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, LB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(device_caps.szPname));
    }
    int32_t device = player_state.midi_out_device;
    if (device >= 0 && static_cast<UINT>(device) < device_count) {
        SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, LB_SETCURSEL, static_cast<WPARAM>(device), 0);
    }
}

void choose_first_output() {
    if (player_state.midi_out_device != -1) return;
    UINT count = midiOutGetNumDevs();
    for (UINT id = 0; id < count; ++id) {
        read_device_name(id);
        if (!is_builtin_synth(device_caps.szPname)) {
            player_state.midi_out_device = static_cast<int32_t>(id);
            return;
        }
    }
    if (count > 0) player_state.midi_out_device = 0;  // only the built-in one: at least it is shown
}

void warn_if_output_cannot_sound(HWND window) {
    if (silent_output_told) return;
    int32_t device = player_state.midi_out_device;
    const char* name;
    if (device == -1) {
        // The mapper; with no output at all the start says so itself.
        if (midiOutGetNumDevs() == 0) return;
        name = "The MIDI mapper";
    } else if (device >= 0 && static_cast<UINT>(device) < midiOutGetNumDevs()) {
        read_device_name(static_cast<UINT>(device));
        if (!is_builtin_synth(device_caps.szPname)) return;
        name = device_caps.szPname;
    } else {
        return;
    }
    silent_output_told = true;
    char text[256];
    wsprintfA(text,
              "%s cannot sound SID frames: it ignores the SysEx messages that carry them.\n\n"
              "Choose the synthesizer's MIDI output in Conf.",
              name);
    MessageBoxA(window, text, "Cancel", MB_ICONWARNING | MB_OK);
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
                    player_state.midi_out_device =
                        device_count == 0 ? -1
                                          : static_cast<int32_t>(
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

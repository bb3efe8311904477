#include "ui/preferences.h"

#include <mmsystem.h>

#include "player/player_state.h"
#include "ui/resource_ids.h"
#include "ui/settings.h"

namespace {
int32_t ontop_choice;  // always_on_top as the dialog will store it on OK
UINT device_count;     // counted when the list was filled
MIDIOUTCAPSA device_caps;
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
            return TRUE;

        case WM_COMMAND:
            switch (LOWORD(wparam)) {
                case IDC_PREF_OK:
                    // LB_ERR is -1: no line selected stores "no device chosen".
                    player_state.midi_out_device = static_cast<int32_t>(
                        SendDlgItemMessageA(dialog, IDC_DEVICE_LIST, LB_GETCURSEL, 0, 0));
                    window_settings.always_on_top = ontop_choice;
                    EndDialog(dialog, IDC_PREF_OK);
                    break;
                case IDC_PREF_CANCEL:
                    EndDialog(dialog, IDC_PREF_CANCEL);
                    break;
                case IDC_ALWAYS_ON_TOP:
                    // The check box toggles its own mark.
                    ontop_choice = ontop_choice == 1 ? 0 : 1;
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

#include "ui/about.h"

#include "ui/resource_ids.h"

void show_about(HWND window) {
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), window, about_dialog_proc, 0);
}

// Every command ends the box: OK, Enter and Escape alike.
INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
        case WM_CLOSE:
            EndDialog(dialog, IDC_ABOUT_OK);
            return TRUE;
        default:
            return FALSE;
    }
}

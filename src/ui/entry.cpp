// The process's entry point: one copy only, the command-line tune, the
// persisted settings, then the main window until it ends.
#include <windows.h>
#include <commctrl.h>

#include "midi/stream_transport.h"
#include "player/player_state.h"
#include "ui/command_line.h"
#include "ui/main_window.h"
#include "ui/resource_ids.h"
#include "ui/settings.h"
#include "ui/win32_panel.h"

ArgumentResult command_line_argument = ArgumentResult::none;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR argument, int) {
    // Owned until the process ends; a second copy leaves silently, and its
    // argument is not passed on.
    CreateMutexA(nullptr, TRUE, "osket_zarvel");
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;

    command_line_argument = take_tune_argument(argument, player_state.pending_path);
    for (auto& voice : player_state.voice_enabled) voice = 1;
    reset_stream_ring();
    InitCommonControls();
    read_settings();
    install_win32_panel();

    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, main_dialog_proc, 0);

    close_midi_stream();
    return 0;
}

// The process's entry point: one copy only, the command-line tune, the
// persisted settings, then the main window until it ends.
#include <windows.h>
#include <commctrl.h>

#include "midi/stream_transport.h"
#include "player/player_state.h"
#include "ui/command_line.h"
#include "ui/handoff.h"
#include "ui/main_window.h"
#include "ui/resource_ids.h"
#include "ui/settings.h"
#include "ui/song_lengths_choice.h"
#include "ui/win32_panel.h"

ArgumentResult command_line_argument = ArgumentResult::none;
bool command_line_play = false;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR argument, int) {
    const char* argument_text = argument;
    command_line_play = take_play_switch(argument_text);
    command_line_argument = take_tune_argument(argument_text, window_settings.pending_path);

    // Owned until the process ends. A second copy leaves without a window,
    // after handing its tune to the running copy, which plays it.
    HANDLE mutex = CreateMutexA(nullptr, TRUE, "osket_zarvel");
    if (GetLastError() == ERROR_ALREADY_EXISTS &&
        hand_over_tune(mutex, command_line_argument, window_settings.pending_path)) {
        return 0;
    }

    for (auto& voice : player_state.voice_enabled) voice = 1;
    reset_stream_ring();
    InitCommonControls();
    read_settings();
    install_win32_panel();
    install_song_lengths_choice();

    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, main_dialog_proc, 0);

    close_midi_stream();
    return 0;
}

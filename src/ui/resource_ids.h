#pragma once
// Resource and control ids shared by the resource script and the dialog
// procedures. Plain defines, so that windres can read this file too.

#define IDI_ZARVEL 100          // icon group: 16 x 16 and 32 x 32, 256 colours

// Main window, dialog 101
#define IDD_MAIN 101
#define IDC_EXIT 1              // the platform's IDOK
#define IDC_PLAY 102            // "Play" / "Pause"
#define IDC_STOP 103
#define IDC_LOAD 104
#define IDC_ABOUT 105
#define IDC_CONF 106
#define IDC_TUNE_INFO 107       // name, author, released; or "No loaded tune."
#define IDC_RATE_LABEL 108      // "%i Hz" of the effective play rate
#define IDC_VOICE1 130          // voices 2 and 3 follow at 131 and 132
#define IDC_VOICE2 131
#define IDC_VOICE3 132
#define IDC_SONG 133            // song selector, items "1" .. songs
#define IDC_SPEED_SCALE 135
#define IDC_SPEED_LABEL 136
#define IDC_FILTER_SCALE 138
#define IDC_FILTER_LABEL 139

// Preferences, dialog 111
#define IDD_PREFERENCES 111
#define IDC_PREF_OK 113
#define IDC_PREF_CANCEL 114     // not the platform's IDCANCEL, so Escape does nothing
#define IDC_DEVICE_LIST 115     // line position = MIDI output device id
#define IDC_ALWAYS_ON_TOP 116
#define IDC_SONGLENGTHS_CHOOSE 117  // "Lengths...": the common Open dialog
#define IDC_SONGLENGTHS_NONE 118    // no song-length database
#define IDC_SONGLENGTHS_FILE 119    // the chosen database's file name, or "No song lengths"
#define IDC_EXTRA_SIDS 120          // items "Off", "Frames": a tune's second and third SID
#define IDC_CHANGES_ONLY 121        // frames carry only what the synthesizer does not hold

// About, dialog 140
#define IDD_ABOUT 140
#define IDC_ABOUT_OK 141

// Window messages the main window posts to itself: from other threads, or
// to act on another copy's message once it has answered it.
#define WM_ZARVEL_RATE_LABEL (0x8000 + 1)   // WM_APP + 1: label 108 has a new text
#define WM_ZARVEL_PLAY_TEXT (0x8000 + 2)    // WM_APP + 2: the Play button has a new text
#define WM_ZARVEL_HANDED_TUNE (0x8000 + 3)  // WM_APP + 3: another copy handed over a tune
#define WM_ZARVEL_SONG_END (0x8000 + 4)     // WM_APP + 4: the song has played its length

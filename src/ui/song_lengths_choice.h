#pragma once
// The song-length database the user chose in Preferences, the loaded tune's
// lengths from it, and what the window makes of them: the next song at the
// end of each, Stop after the last, elapsed time and length in the title.
// With no database every length is unknown: the title shows the elapsed
// time alone.
#include <windows.h>

#include <cstddef>

constexpr size_t songlengths_path_size = 260;  // bytes, terminating zero included

// The chosen Songlengths.md5, persisted as "songlengths"; empty for none.
// UI thread only.
extern char songlengths_path[songlengths_path_size];

// Installs the controller's song length lookup, answered from the tune
// last passed to look_up_tune_lengths. Once, before the main window exists.
void install_song_lengths_choice();

// Reads the MD5 of the file at tune_path and its lengths from the chosen
// database. Before that file is loaded: a load while playing starts its
// song at once, and the start asks for the length.
void look_up_tune_lengths(const char* tune_path);

// True when the database at path can be read. Otherwise, or when lines of it
// had to be skipped, a warning box owned by window says so.
bool check_song_lengths_file(HWND window, const char* path);

// The song ended (the posted WM_ZARVEL_SONG_END): the next song of the tune
// starts and the selector follows; after the last, playback stays stopped.
void follow_song_end(HWND window);

// The title: "Zarvel - elapsed / length" while a song plays, is paused or has
// just ended with the next to follow ("Zarvel - elapsed" when its length is
// not known), else "Zarvel". Set only when it changes.
void show_song_time(HWND window);

// The title's refresh timer of the main window, and how often it runs.
constexpr UINT_PTR song_time_timer_id = 2;
constexpr UINT song_time_timer_ms = 250;

#pragma once
// WinMain's argument text, turned into the tune path the main window loads
// when it opens. No Win32 here, so the rules run in the unit tests too.
#include <cstddef>

constexpr size_t tune_path_size = 260;  // bytes, terminating zero included

enum class ArgumentResult {
    none,      // no argument, or only quotes: nothing to load at start
    taken,     // path holds the tune path
    too_long,  // the path would not fit: path is empty, and the window says
               // "Couldn't open file." as for any unreadable tune
};

// A quoted argument ("C:\Tunes\A B.sid", as Explorer and shortcuts pass it)
// loses its first and its last character, whatever that last one is. An
// unquoted argument is taken as it stands: cutting its ends would turn
// C:\x.sid into :\x.si, a file that never exists.
ArgumentResult take_tune_argument(const char* argument, char (&path)[tune_path_size]);

// The .sid association's command line is /play "PATH": the tune is loaded
// and started, where a plain path is only loaded. When the argument text
// begins with the switch (any case) followed by a blank, a tab or its end,
// moves argument past the switch and its blanks and returns true; otherwise
// leaves it as it is.
bool take_play_switch(const char*& argument);

// What became of this start's argument; set by the entry point, read by the
// main window when it opens.
extern ArgumentResult command_line_argument;
extern bool command_line_play;

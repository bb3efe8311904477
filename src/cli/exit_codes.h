#pragma once
// What zarvel-cli returns to the shell.
enum ExitCode : int {
    EXIT_OK = 0,
    EXIT_LOAD_FAILED = 1,    // the loader's message is on stderr
    EXIT_DEVICE_FAILED = 1,  // a MIDI port or the output file failed; the reason is on stderr
    EXIT_PLAYBACK_STOPPED = 1,  // a play routine never returned (play without a terminal, render, dump, steps)
    EXIT_USAGE = 2,          // bad arguments; the reason is on stderr
};

#pragma once
#include <cstdint>

// The SID register stores of one CPU call, in order, ended by the index -1.
// The playback controller also fills it by hand for its reset, mute and
// restore frames; the register-frame encoder reads it.
struct SidWriteLog {
    int32_t registers[128]; // SID register index 0..31 (address AND 0x1F)
    uint8_t values[128];    // the byte stored, paired by position
};

constexpr int sid_log_last_slot = 126; // later stores of a call overwrite this slot

extern SidWriteLog sid_write_log;

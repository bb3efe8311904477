#pragma once
#include <cstdint>

// The SID register stores of one CPU call, in order, ended by the index -1.
// The playback controller also fills it by hand for its reset, mute and
// restore frames; the register-frame encoder reads it.
// A store into a second or third SID chip is logged with its chip: the index
// is chip * sid_log_chip_step + register, chip 0 (the first SID), 1 or 2.
struct SidWriteLog {
    int32_t registers[128]; // chip * 32 + SID register index 0..31 (address AND 0x1F)
    uint8_t values[128];    // the byte stored, paired by position
};

constexpr int32_t sid_log_chip_step = 32;
constexpr int sid_log_last_slot = 126; // later stores of a call overwrite this slot

extern SidWriteLog sid_write_log;

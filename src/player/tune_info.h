#pragma once
#include <cstdint>
#include <string_view>

// The header fields of the tune loaded last. Addresses are 6502 addresses
// into the memory image.
struct TuneInfo {
    uint16_t version;       // only 2 changes how the header is read
    uint16_t data_offset;   // stored as read; the payload position follows from version
    uint16_t load_address;  // where the payload was copied
    uint16_t init_address;  // used unchanged, also when 0
    uint16_t play_address;  // 0 in the header: the tune driver resolves an interrupt vector
    uint16_t songs;
    uint16_t start_song;    // 1-based
    uint32_t speed;         // bit n-1 belongs to song n
    char name[32];          // texts end at their first zero byte, or fill all 32 bytes
    char author[32];
    char released[32];
    uint16_t flags;         // version 2 only; bit 0 means MUS data
    int32_t irq_mode;       // 1 when the header's play address was 0
};

extern TuneInfo tune_info;

// A 32-byte header text up to its first zero byte (all 32 bytes when none).
inline std::string_view tune_text(const char (&field)[32]) {
    std::string_view text(field, sizeof field);
    return text.substr(0, text.find('\0'));
}

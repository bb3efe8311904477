#pragma once
#include <cstdint>
#include <string_view>

// The header fields of the tune loaded last, with the file format's defaults
// in place of the header's zeros. Addresses are 6502 addresses into the
// memory image.
struct TuneInfo {
    uint16_t version;       // 2 to 4 have the 124-byte header; any other the 118-byte one
    uint16_t data_offset;   // stored as read; the payload position follows from version
    uint16_t load_address;  // where the payload was copied
    uint16_t init_address;  // 0 in the header means the load address, and is stored so
    uint16_t play_address;  // 0 in the header: the tune driver resolves an interrupt vector
    uint16_t songs;         // at least 1: a header's 0 counts as one song
    uint16_t start_song;    // 1-based, 1..songs: a header's 0, or any above songs, is song 1
    uint32_t speed;         // bit n-1 belongs to song n
    char name[32];          // texts end at their first zero byte, or fill all 32 bytes
    char author[32];
    char released[32];
    uint16_t flags;         // versions 2 to 4, else 0: bit 0 MUS data, bits 2-3 the video standard
    uint16_t second_sid_address;  // versions 3 and 4: a second SID chip's first register; 0 none
    uint16_t third_sid_address;   // the same for a third; neither is played
    int32_t irq_mode;       // 1 when the header's play address was 0
    int32_t rsid;           // 1 for an RSID file: the tune expects a whole C64 around it
    uint32_t load_end;      // the address after the payload's last byte in the image (up to 0x10000)
};

extern TuneInfo tune_info;

// A 32-byte header text up to its first zero byte (all 32 bytes when none).
inline std::string_view tune_text(const char (&field)[32]) {
    std::string_view text(field, sizeof field);
    return text.substr(0, text.find('\0'));
}

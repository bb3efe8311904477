#pragma once
// A loaded tune's header as the commands print it: one field a line, the
// label padded to 13 columns, numbers in the width of their field.
#include <cstdint>
#include <cstdio>
#include <string>

enum class TextBytes {
    escaped,  // anything but printable ASCII as \xNN (steps: the bytes as they are)
    latin1,   // read as Latin-1 and written as UTF-8, controls escaped (info)
};

// Every field of tune_info, the texts quoted (see print_tune_text); a second
// or third SID only when the tune names one.
void print_tune_header(std::FILE* out, const std::string& path, TextBytes texts = TextBytes::escaped);

// The video standard and SID model a version-2 header's flags ask for (bits
// 2-3 and 4-5): "PAL", "NTSC", "PAL and NTSC" or "unknown"; "6581", "8580",
// "both" or "unknown". shift 6 and 8 give the second and third SID's model.
const char* tune_clock_name(uint16_t flags);
const char* sid_model_name(uint16_t flags, int shift = 4);

// label, then the 32-byte text between double quotes. The bytes are the
// tune's own, in no particular character set, so anything but printable
// ASCII is escaped rather than sent to the terminal.
void print_tune_text(std::FILE* out, const char* label, const char (&field)[32],
                     TextBytes texts = TextBytes::escaped);

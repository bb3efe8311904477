#pragma once
// A loaded tune's header as the commands print it: one field a line, the
// label padded to 13 columns, numbers in the width of their field.
#include <cstdio>
#include <string>

// Every field of tune_info, the texts quoted (see print_tune_text); a second
// or third SID only when the tune names one.
void print_tune_header(std::FILE* out, const std::string& path);

// label, then the 32-byte text between double quotes. The bytes are the
// tune's own, in no particular character set, so anything but printable
// ASCII is escaped rather than sent to the terminal.
void print_tune_text(std::FILE* out, const char* label, const char (&field)[32]);

#include "cli/latin1_text.h"

#include <cstdio>

namespace {

bool is_control(unsigned char byte) { return byte < 0x20 || (byte >= 0x7F && byte < 0xA0); }

bool begins_character(unsigned char byte) { return (byte & 0xC0) != 0x80; }

void append_utf8(std::string& out, unsigned char byte) {
    if (byte < 0x80) {
        out += static_cast<char>(byte);
    } else {
        out += static_cast<char>(0xC0 | byte >> 6);
        out += static_cast<char>(0x80 | (byte & 0x3F));
    }
}

}  // namespace

std::string latin1_to_utf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size() * 2);
    for (char c : latin1) append_utf8(out, static_cast<unsigned char>(c));
    return out;
}

std::string latin1_to_terminal_text(std::string_view latin1, bool quoted) {
    std::string out;
    out.reserve(latin1.size() * 2);
    for (char c : latin1) {
        auto byte = static_cast<unsigned char>(c);
        if (is_control(byte) || byte == '\\' || (quoted && byte == '"')) {
            char escaped[8];
            if (byte == '\\' || byte == '"') std::snprintf(escaped, sizeof escaped, "\\%c", byte);
            else std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else {
            append_utf8(out, byte);
        }
    }
    return out;
}

std::string_view utf8_prefix(std::string_view utf8, size_t columns) {
    size_t characters = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (!begins_character(static_cast<unsigned char>(utf8[i]))) continue;
        if (characters == columns) return utf8.substr(0, i);
        ++characters;
    }
    return utf8;
}

size_t utf8_length(std::string_view utf8) {
    size_t characters = 0;
    for (char c : utf8) characters += begins_character(static_cast<unsigned char>(c));
    return characters;
}

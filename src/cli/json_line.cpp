#include "cli/json_line.h"

#include <cmath>
#include <cstdio>

namespace {

// The length of the well-formed UTF-8 character at the start of bytes, or 0
// (overlong forms, surrogates and code points past U+10FFFF are not).
size_t utf8_character_length(std::string_view bytes) {
    auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    unsigned char lead = at(0);
    if (lead < 0x80) return 1;
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || bytes.size() < length) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((at(i) & 0xC0) != 0x80) return 0;
    if (length == 2 && lead < 0xC2) return 0;
    if (length == 3 && lead == 0xE0 && at(1) < 0xA0) return 0;
    if (length == 3 && lead == 0xED && at(1) >= 0xA0) return 0;
    if (length == 4 && lead == 0xF0 && at(1) < 0x90) return 0;
    if (length == 4 && lead == 0xF4 && at(1) >= 0x90) return 0;
    return length;
}

void append_json_string(std::string& out, std::string_view utf8) {
    out += '"';
    for (size_t i = 0; i < utf8.size();) {
        auto byte = static_cast<unsigned char>(utf8[i]);
        size_t length = utf8_character_length(utf8.substr(i));
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(utf8, i, length);
        } else if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += static_cast<char>(byte);
        }
        i += length;
    }
    out += '"';
}

}  // namespace

void JsonLine::before_value() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (!first_.empty()) {
        if (!first_.back()) text_ += ',';
        first_.back() = false;
    }
}

JsonLine& JsonLine::begin_object() {
    before_value();
    text_ += '{';
    first_.push_back(true);
    return *this;
}

JsonLine& JsonLine::end_object() {
    text_ += '}';
    first_.pop_back();
    return *this;
}

JsonLine& JsonLine::begin_array() {
    before_value();
    text_ += '[';
    first_.push_back(true);
    return *this;
}

JsonLine& JsonLine::end_array() {
    text_ += ']';
    first_.pop_back();
    return *this;
}

JsonLine& JsonLine::key(std::string_view name) {
    before_value();
    append_json_string(text_, name);
    text_ += ':';
    after_key_ = true;
    return *this;
}

JsonLine& JsonLine::string(std::string_view utf8) {
    before_value();
    append_json_string(text_, utf8);
    return *this;
}

JsonLine& JsonLine::number(int64_t value) {
    before_value();
    text_ += std::to_string(value);
    return *this;
}

std::string decimal_text(double value, int places) {
    if (!std::isfinite(value)) return "0";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", places, value);
    std::string result = text;
    if (result.find('.') != std::string::npos) {
        result.erase(result.find_last_not_of('0') + 1);
        if (result.back() == '.') result.pop_back();
    }
    if (result == "-0") result = "0";
    return result;
}

JsonLine& JsonLine::decimal(double value, int places) {
    before_value();
    text_ += decimal_text(value, places);
    return *this;
}

JsonLine& JsonLine::null() {
    before_value();
    text_ += "null";
    return *this;
}

std::string json_string(std::string_view utf8) {
    std::string out;
    append_json_string(out, utf8);
    return out;
}

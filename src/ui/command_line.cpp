#include "ui/command_line.h"

#include <cctype>
#include <cstring>

bool take_play_switch(const char*& argument) {
    static constexpr char play_switch[] = "/play";
    constexpr size_t length = sizeof play_switch - 1;
    if (argument == nullptr) return false;
    for (size_t i = 0; i < length; ++i) {
        if (std::tolower(static_cast<unsigned char>(argument[i])) != play_switch[i]) return false;
    }
    const char* rest = argument + length;
    if (*rest != '\0' && *rest != ' ' && *rest != '\t') return false;
    while (*rest == ' ' || *rest == '\t') ++rest;
    argument = rest;
    return true;
}

ArgumentResult take_tune_argument(const char* argument, char (&path)[tune_path_size]) {
    path[0] = '\0';
    if (argument == nullptr || argument[0] == '\0') return ArgumentResult::none;

    const char* first = argument;
    size_t length = std::strlen(argument);
    if (argument[0] == '"') {
        // The opening quote goes, and so does the last character, which a
        // well-formed argument has as its closing quote.
        first = argument + 1;
        length = length >= 2 ? length - 2 : 0;
    }
    if (length == 0) return ArgumentResult::none;
    if (length >= tune_path_size) return ArgumentResult::too_long;

    std::memcpy(path, first, length);
    path[length] = '\0';
    return ArgumentResult::taken;
}

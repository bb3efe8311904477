#include "ui/command_line.h"

#include <cstring>

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

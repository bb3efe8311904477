#include "player/playback_stop.h"

std::string playback_stop_text(int32_t at_ms, bool in_init, const std::string& file) {
    std::string text = in_init ? "the init routine" : "the play routine";
    if (!file.empty()) text += " of " + file;
    text += " did not return";
    if (!in_init && at_ms >= 0) {
        char time[32];
        std::snprintf(time, sizeof time, " at %d.%03d s", at_ms / 1000, at_ms % 1000);
        text += time;
    }
    return text + ": playback stopped";
}

void report_playback_stop(std::FILE* err, int32_t at_ms, bool in_init, const std::string& file) {
    std::fprintf(err, "zarvel-cli: %s\n", playback_stop_text(at_ms, in_init, file).c_str());
}

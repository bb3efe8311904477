#include "player/playback_stop.h"

std::string playback_stop_text(int32_t at_ms) {
    if (at_ms < 0) return "the play routine did not return: playback stopped";
    char text[96];
    std::snprintf(text, sizeof text, "the play routine did not return at %d.%03d s: playback stopped", at_ms / 1000,
                  at_ms % 1000);
    return text;
}

void report_playback_stop(std::FILE* err, int32_t at_ms) {
    std::fprintf(err, "zarvel-cli: %s\n", playback_stop_text(at_ms).c_str());
}

#include "cli/status_line.h"

#include <cstdio>

const char* const key_help =
    "keys: space play/pause  s stop  n/p next/previous song  1 2 3 voices  +/- speed  [/] filter  q quit";

void format_status_line(const StatusFields& f, char* out, size_t size) {
    if (size == 0) return;
    long minutes = static_cast<long>(f.elapsed_seconds / 60);
    int seconds = static_cast<int>(f.elapsed_seconds % 60);
    std::snprintf(out, size, "%-7s  %s  song %d/%d  %s  speed %d%%  filter %d%%  voices %c%c%c  %ld:%02d", f.state,
                  f.name, f.song, f.songs, f.rate_label, f.speed_percent, f.filter_percent,
                  f.voice_enabled[0] ? '1' : '0', f.voice_enabled[1] ? '1' : '0', f.voice_enabled[2] ? '1' : '0',
                  minutes, seconds);
}

const char* playback_state_name(int32_t playing, int32_t paused) {
    if (playing) return "Playing";
    return paused ? "Paused" : "Stopped";
}

void printable_text(const char* text, size_t length, char* out, size_t size) {
    if (size == 0) return;
    size_t n = 0;
    for (size_t i = 0; i < length && text[i] != '\0' && n + 1 < size; ++i) {
        auto byte = static_cast<unsigned char>(text[i]);
        out[n++] = byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '?';
    }
    out[n] = '\0';
}

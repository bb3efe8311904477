#include "cli/status_line.h"

#include <cstdio>

#include "cli/latin1_text.h"
#include "collection/song_lengths.h"

const char* const key_help =
    "keys: space play/pause  s stop  n/p song  <-/-> N/P list  1 2 3 voices  +/- speed  [/] filter  </> seek  q quit";

void format_status_line(const StatusFields& f, char* out, size_t size) {
    if (size == 0) return;
    long minutes = static_cast<long>(f.elapsed_seconds / 60);
    int seconds = static_cast<int>(f.elapsed_seconds % 60);
    std::snprintf(out, size, "%-7s  %s  song %d/%d  %s  speed %d%%  filter %d%%  voices %c%c%c  %ld:%02d", f.state,
                  f.name, f.song, f.songs, f.rate_label, f.speed_percent, f.filter_percent,
                  f.voice_enabled[0] ? '1' : '0', f.voice_enabled[1] ? '1' : '0', f.voice_enabled[2] ? '1' : '0',
                  minutes, seconds);
}

std::string format_list_line(const ListLineFields& f, size_t columns) {
    constexpr size_t widest = 80;
    if (columns > widest) columns = widest;
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "file %d/%d  song %d/%d  %s / %s  ", f.file, f.files, f.song, f.songs,
                  format_song_time(f.elapsed_ms).c_str(), format_song_time(f.length_ms).c_str());
    std::string line = numbers;
    std::string port = std::string("  ") + f.port;
    size_t used = line.size() + utf8_length(port);
    size_t room = columns > used ? columns - used : 0;
    std::string_view name = f.name;
    if (utf8_length(name) > room) {
        // Cut, with a mark that it was: a name of 32 characters needs 80 columns.
        line += room > 1 ? std::string(utf8_prefix(name, room - 1)) + "~" : std::string(utf8_prefix(name, room));
    } else {
        line += name;
    }
    line += port;
    return std::string(utf8_prefix(line, columns));
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

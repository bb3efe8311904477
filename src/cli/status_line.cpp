#include "cli/status_line.h"

#include <cstdio>

#include "cli/latin1_text.h"
#include "collection/song_lengths.h"

namespace {

constexpr const char* part_gap = "  ";
constexpr size_t gap_width = 2;

size_t line_width(const std::vector<LinePart>& parts) {
    size_t width = 0;
    for (const LinePart& part : parts) width += utf8_length(part.text);
    return parts.empty() ? 0 : width + gap_width * (parts.size() - 1);
}

std::string shortened(std::string_view text, size_t columns) {
    if (columns == 0) return "";
    return std::string(utf8_prefix(text, columns - 1)) + "~";
}

}  // namespace

std::string fit_parts(std::vector<LinePart> parts, size_t columns) {
    for (size_t width = line_width(parts); width > columns; width = line_width(parts)) {
        // Shortening loses less than leaving out: every shrinkable part goes
        // down to its shortest before any part goes.
        auto lowest = parts.end();
        for (auto part = parts.begin(); part != parts.end(); ++part)
            if (part->shortest > 0 && utf8_length(part->text) > part->shortest &&
                (lowest == parts.end() || part->rank < lowest->rank))
                lowest = part;
        if (lowest != parts.end()) {
            size_t own = utf8_length(lowest->text);
            size_t excess = width - columns;
            lowest->text = shortened(lowest->text, own > excess + lowest->shortest ? own - excess : lowest->shortest);
            continue;
        }
        for (auto part = parts.begin(); part != parts.end(); ++part)
            if (part->rank != never_dropped && (lowest == parts.end() || part->rank < lowest->rank)) lowest = part;
        if (lowest == parts.end()) break;  // only what is never dropped is left
        parts.erase(lowest);
    }
    std::string line;
    for (const LinePart& part : parts) {
        if (!line.empty()) line += part_gap;
        line += part.text;
    }
    return std::string(utf8_prefix(line, columns));
}

std::string fit_status_line(const StatusFields& f, size_t columns) {
    // Enough of a name to recognise it by; below that it goes altogether.
    constexpr size_t name_shortest = 8;
    char text[64];
    std::vector<LinePart> parts;
    std::snprintf(text, sizeof text, "%-7s", f.state);
    parts.push_back({text, 7});
    if (f.name[0] != '\0') parts.push_back({f.name, 3, name_shortest});
    std::snprintf(text, sizeof text, "song %d/%d", f.song, f.songs);
    parts.push_back({text, 6});
    parts.push_back({f.rate_label, 0});
    std::snprintf(text, sizeof text, "speed %d%%", f.speed_percent);
    parts.push_back({text, 2});
    std::snprintf(text, sizeof text, "filter %d%%", f.filter_percent);
    parts.push_back({text, 1});
    std::snprintf(text, sizeof text, "voices %c%c%c", f.voice_enabled[0] ? '1' : '0', f.voice_enabled[1] ? '1' : '0',
                  f.voice_enabled[2] ? '1' : '0');
    parts.push_back({text, 5});
    std::snprintf(text, sizeof text, "%ld:%02d", static_cast<long>(f.elapsed_seconds / 60),
                  static_cast<int>(f.elapsed_seconds % 60));
    parts.push_back({text, never_dropped});
    return fit_parts(std::move(parts), columns);
}

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
    // A name of 32 characters shortened to this still tells most tunes apart.
    constexpr size_t name_shortest = 12;
    char text[64];
    std::vector<LinePart> parts;
    std::snprintf(text, sizeof text, "file %d/%d", f.file, f.files);
    parts.push_back({text, 2});
    std::snprintf(text, sizeof text, "song %d/%d", f.song, f.songs);
    parts.push_back({text, 3});
    parts.push_back({format_song_time(f.elapsed_ms) + " / " + format_song_time(f.length_ms), never_dropped});
    if (f.name[0] != '\0') parts.push_back({f.name, 0, name_shortest});
    parts.push_back({f.port, 1});
    return fit_parts(std::move(parts), columns);
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

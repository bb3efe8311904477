// Arbitrary bytes as the collection's text files: parsed as a song-length
// database and as a tune information list, with every entry looked up
// again. The files are the user's choice, so they are foreign input: the
// parsers must not crash, must keep only lengths a song can have, and must
// find again every entry they indexed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "collection/song_lengths.h"
#include "collection/stil.h"

namespace {

void check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "broken invariant: %s\n", what);
        std::abort();
    }
}

void check_song_lengths(std::string_view text) {
    SongLengths database = SongLengths::parse(text);
    size_t lines = 1;
    for (char c : text) lines += c == '\n';
    check(database.tunes() + static_cast<size_t>(database.malformed_lines() + database.duplicate_lines()) <= lines,
          "every line is a tune, skipped, or a duplicate at most once");
    check((database.malformed_lines() == 0) == (database.first_malformed_line() == 0), "first skipped line");

    // Every line that begins with an MD5 the database lists: its lengths.
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        Md5Digest md5;
        if (line.size() < 32 || !parse_md5_hex(line.substr(0, 32), md5)) continue;
        for (int32_t ms : database.lengths_ms(md5)) check(ms > 0 || ms == unknown_length_ms, "a song's length");
    }

    int32_t ms = 0;
    std::string_view first_word = text.substr(0, text.find(' '));
    if (parse_song_length(first_word, ms)) {
        int32_t again = -1;
        check(ms >= 0 && parse_song_length(format_song_time(ms), again) && again == ms / 1000 * 1000,
              "a length written and read again");
    }
}

void check_stil(std::string_view text) {
    Stil stil = Stil::parse(std::string(text));
    size_t entries = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty() || line.front() != '/') continue;
        ++entries;
        std::optional<StilEntry> entry = stil.entry(line);
        check(entry.has_value(), "an indexed path is found");
        for (const StilSong& song : entry->songs) check(song.song > 0, "a section's song number");
    }
    check(entries == stil.entries(), "one index entry per path line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    check_song_lengths(text);
    check_stil(text);
    return 0;
}

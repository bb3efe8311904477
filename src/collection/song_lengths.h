#pragma once
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "collection/tune_md5.h"

// A song length is tune time at 100 % speed, in milliseconds.
constexpr int32_t unknown_length_ms = -1;

// Reads a length as the song-length database writes it: "m:ss" or
// "m:ss.mmm". Minutes are one or more digits and may exceed 59; seconds are
// two digits below 60; the fraction is one to three digits (".5" is 500 ms).
// False for anything else, and for a length above 2^31 - 1 ms.
bool parse_song_length(std::string_view text, int32_t& ms);

// "m:ss" of a song time, the milliseconds cut off (83,999 ms is "1:23");
// minutes as many digits as they need. A negative time is "-:--".
std::string format_song_time(int32_t ms);

// The collection's song-length database (Songlengths.md5), parsed. The file
// is text: a "[Database]" section of lines
//     MD5=LENGTH LENGTH ...
// with MD5 the 32 hex digits of the whole tune file's MD5 and one LENGTH per
// song, song 1 first, separated by blanks. Text in parentheses right after a
// length (the old attribute letters, "0:46(G)") is ignored. Lines starting
// with ';' are comments (the collection puts the tune's path there), blank
// lines are ignored, and so are the lines of any other section. Lines may
// end in CR LF.
//
// A line that is none of these, or whose MD5 or any length cannot be read,
// is skipped and counted; the rest of the file still counts. When two lines
// give the same MD5 the later line wins, as a later setting overrides an
// earlier one, and the earlier is counted as a duplicate. A length of 0:00
// is taken as unknown: no song plays for no time at all.
class SongLengths {
public:
    // Never fails: an empty or foreign text gives an empty database and
    // counts its lines as malformed.
    static SongLengths parse(std::string_view text);

    // The lengths in ms of every song of the tune with this MD5, song 1
    // first (unknown_length_ms where 0:00 stood); empty when the database
    // does not list the tune. Valid as long as the database.
    std::span<const int32_t> lengths_ms(const Md5Digest& md5) const;

    // One song's length (1-based song): unknown_length_ms when the tune or
    // that song is not listed.
    int32_t length_ms(const Md5Digest& md5, int song) const;

    size_t tunes() const { return entries_.size(); }
    int malformed_lines() const { return malformed_lines_; }
    int first_malformed_line() const { return first_malformed_line_; }  // 1-based; 0 when none
    int duplicate_lines() const { return duplicate_lines_; }

private:
    struct Entry {
        Md5Digest md5;
        uint32_t first_length;  // index into lengths_
        uint32_t songs;
    };
    std::vector<Entry> entries_;  // sorted by md5, one per MD5
    std::vector<int32_t> lengths_;
    int malformed_lines_ = 0;
    int first_malformed_line_ = 0;
    int duplicate_lines_ = 0;
};

// The outcome of reading a database file.
struct SongLengthsLoad {
    std::shared_ptr<const SongLengths> database;  // null when the file could not be read
    int error_number = 0;                         // errno of the failed read
};

// Reads and parses the database at path. The first good load of a path is
// kept for the rest of the process: later calls with the same path return it
// without reading the file again. A failed read is not kept. Thread-safe.
SongLengthsLoad load_song_lengths(const std::string& path);

// The warning a front end shows when lines were skipped, naming the file,
// the number of lines and the first one; empty when none were.
std::string song_lengths_warning(const std::string& path, const SongLengths& database);

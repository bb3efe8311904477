#pragma once
// What the collection knows about one tune file, for the commands: its MD5,
// each song's length from the song-length database, and its STIL entry.
// The database comes from --songlengths, else HVSC_BASE, else the first
// DOCUMENTS folder up from the tune (collection/collection_files.h).
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "collection/song_lengths.h"
#include "collection/stil.h"
#include "collection/tune_md5.h"

namespace CLI {
class App;
}

struct CollectionOptions {
    std::string songlengths;  // --songlengths FILE; empty: searched for
};

// --songlengths FILE.
void add_collection_options(CLI::App& command, CollectionOptions& options);

struct TuneRecord {
    bool md5_known = false;  // false when the file could not be read again
    Md5Digest md5{};
    std::vector<int32_t> lengths_ms;  // one per song; unknown_length_ms where the database says nothing
    std::optional<StilEntry> stil;
};

// The record of the tune at path with songs songs. A database or STIL file
// that cannot be read, or whose lines were partly skipped, is told on err
// once per process; the lengths are then unknown, and nothing fails.
TuneRecord look_up_tune(const std::string& path, int songs, const CollectionOptions& options, std::FILE* err);

// The length a song plays for when the database does not know it, and
// --default-length's text ("m:ss" or seconds).
constexpr int32_t default_song_length_ms = 3 * 60 * 1000;
bool parse_length_option(const std::string& text, int32_t& ms);

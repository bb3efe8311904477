#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The collection's tune information list (STIL.txt), parsed. The file is
// text in entries separated by blank lines. An entry begins with the tune's
// path in the collection, from the collection's root with '/' and a leading
// '/' ("/MUSICIANS/H/Hubbard_Rob/Commando.sid"); a path ending in '/' is a
// folder's entry. Then come fields, a name right-aligned before a colon and
// its text:
//       TITLE: Commando (arcade)
//      ARTIST: ...
//     COMMENT: The first line of a comment,
//              and a continuation line indented under the text.
// A line "(#N)" starts song N's section; the fields before the first such
// line are about the whole tune. Lines starting with '#' are comments. The
// texts are the file's bytes (Latin-1), not converted.

// One field: name is "TITLE", "ARTIST", "AUTHOR", "NAME" or "COMMENT". A
// field's continuation lines are joined to its text with '\n', each without
// the indent that puts it under the text (up to 9 blanks or one tab). A line
// that looks like a field of another name is taken as a continuation line.
struct StilField {
    std::string name;
    std::string text;
};

struct StilSong {
    int song;  // N of "(#N)", 1-based
    std::vector<StilField> fields;
};

struct StilEntry {
    std::vector<StilField> global;  // before the first "(#N)": for a one-song tune, everything
    std::vector<StilSong> songs;    // in the file's order

    // The fields about one song: its section when it has one, else the
    // whole tune's fields.
    const std::vector<StilField>& song_fields(int song) const;
};

// The text of the first field of that name, empty when there is none.
std::string_view stil_field(const std::vector<StilField>& fields, std::string_view name);

class Stil {
public:
    // Never fails; text that is not STIL gives no entries.
    static Stil parse(std::string text);

    // The entry of a tune (or of a folder, its path ending in '/'), by its
    // path in the collection as above. Letter case must match, unless no
    // entry matches exactly and one matches but for case (a collection
    // copied to a file system that changed it). Nothing when there is none.
    std::optional<StilEntry> entry(std::string_view collection_path) const;

    size_t entries() const { return index_.size(); }

private:
    struct Key {
        uint32_t path_start;  // offsets into text_
        uint32_t path_size;
        uint32_t body_start;  // the line after the path
    };
    std::string_view path_of(const Key& key) const;
    std::string text_;
    std::vector<Key> index_;  // sorted by path, ignoring case
};

struct StilLoad {
    std::shared_ptr<const Stil> stil;  // null when the file could not be read
    int error_number = 0;              // errno of the failed read
};

// Reads and parses STIL.txt at path; like load_song_lengths, the first good
// load of a path is kept for the rest of the process. Thread-safe.
StilLoad load_stil(const std::string& path);

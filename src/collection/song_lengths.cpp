#include "collection/song_lengths.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "collection/file_bytes.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (is_blank(text.front()) || text.front() == '\r')) text.remove_prefix(1);
    while (!text.empty() && (is_blank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads the digits at the front of text (at most max_digits of them) and
// removes them; -1 when there are none or too many.
int64_t take_number(std::string_view& text, size_t max_digits) {
    size_t count = 0;
    int64_t value = 0;
    while (count < text.size() && is_digit(text[count])) {
        if (count == max_digits) return -1;
        value = value * 10 + (text[count] - '0');
        ++count;
    }
    if (count == 0) return -1;
    text.remove_prefix(count);
    return value;
}

// A length at the front of text, removed from it: "m:ss" or "m:ss.f" with
// one to three digits of fraction.
bool take_length(std::string_view& text, int32_t& ms) {
    int64_t minutes = take_number(text, 9);
    if (minutes < 0 || text.empty() || text.front() != ':') return false;
    text.remove_prefix(1);
    if (text.size() < 2 || !is_digit(text[0]) || !is_digit(text[1])) return false;
    int64_t seconds = take_number(text, 2);
    if (seconds >= 60) return false;
    int64_t fraction_ms = 0;
    if (!text.empty() && text.front() == '.') {
        text.remove_prefix(1);
        size_t before = text.size();
        int64_t fraction = take_number(text, 3);
        if (fraction < 0) return false;
        for (size_t digits = before - text.size(); digits < 3; ++digits) fraction *= 10;
        fraction_ms = fraction;
    }
    int64_t total = (minutes * 60 + seconds) * 1000 + fraction_ms;
    if (total > INT32_MAX) return false;
    ms = static_cast<int32_t>(total);
    return true;
}

// Removes "(...)" from the front of text; false when it does not close.
bool take_attributes(std::string_view& text) {
    size_t close = text.find(')');
    if (close == std::string_view::npos) return false;
    text.remove_prefix(close + 1);
    return true;
}

bool same_letters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

bool parse_song_length(std::string_view text, int32_t& ms) {
    int32_t read;
    if (!take_length(text, read) || !text.empty()) return false;
    ms = read;
    return true;
}

std::string format_song_time(int32_t ms) {
    if (ms < 0) return "-:--";
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d", ms / 60000, ms / 1000 % 60);
    return text;
}

SongLengths SongLengths::parse(std::string_view text) {
    SongLengths database;
    // Every entry has one '=', so their count bounds the table; one pass
    // then fills it without growing.
    size_t equals = static_cast<size_t>(std::count(text.begin(), text.end(), '='));
    database.entries_.reserve(equals);
    database.lengths_.reserve(equals * 2);

    bool in_database = true;  // a file without the section header is read as one
    int line_number = 0;
    auto skip = [&database, &line_number] {
        if (database.malformed_lines_++ == 0) database.first_malformed_line_ = line_number;
    };
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = trimmed(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++line_number;

        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (line.back() != ']') {
                skip();
                continue;
            }
            in_database = same_letters(trimmed(line.substr(1, line.size() - 2)), "Database");
            continue;
        }
        if (!in_database) continue;

        size_t equal = line.find('=');
        Entry entry;
        if (equal == std::string_view::npos || !parse_md5_hex(trimmed(line.substr(0, equal)), entry.md5)) {
            skip();
            continue;
        }
        entry.first_length = static_cast<uint32_t>(database.lengths_.size());
        std::string_view rest = line.substr(equal + 1);
        bool good = true;
        while (good) {
            while (!rest.empty() && is_blank(rest.front())) rest.remove_prefix(1);
            if (rest.empty()) break;
            if (rest.front() == '(') {  // attributes written apart from their length
                good = database.lengths_.size() > entry.first_length && take_attributes(rest);
                continue;
            }
            int32_t ms;
            good = take_length(rest, ms);
            while (good && !rest.empty() && rest.front() == '(') good = take_attributes(rest);
            if (good && !rest.empty() && !is_blank(rest.front())) good = false;
            if (good) database.lengths_.push_back(ms == 0 ? unknown_length_ms : ms);
        }
        entry.songs = static_cast<uint32_t>(database.lengths_.size()) - entry.first_length;
        if (!good || entry.songs == 0) {
            database.lengths_.resize(entry.first_length);
            skip();
            continue;
        }
        database.entries_.push_back(entry);
    }

    // Equal MD5s stay in file order, so the last of each run is the later line.
    auto& entries = database.entries_;
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.md5 < b.md5; });
    size_t kept = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i + 1 < entries.size() && entries[i + 1].md5 == entries[i].md5) {
            ++database.duplicate_lines_;
            continue;
        }
        entries[kept++] = entries[i];
    }
    entries.resize(kept);
    return database;
}

std::span<const int32_t> SongLengths::lengths_ms(const Md5Digest& md5) const {
    auto found = std::lower_bound(entries_.begin(), entries_.end(), md5,
                                  [](const Entry& entry, const Md5Digest& key) { return entry.md5 < key; });
    if (found == entries_.end() || found->md5 != md5) return {};
    return {lengths_.data() + found->first_length, found->songs};
}

int32_t SongLengths::length_ms(const Md5Digest& md5, int song) const {
    std::span<const int32_t> lengths = lengths_ms(md5);
    if (song < 1 || static_cast<size_t>(song) > lengths.size()) return unknown_length_ms;
    return lengths[static_cast<size_t>(song) - 1];
}

SongLengthsLoad load_song_lengths(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const SongLengths>> loaded;
    std::lock_guard lock(mutex);
    if (auto found = loaded.find(path); found != loaded.end()) return {found->second, 0};
    std::string bytes;
    SongLengthsLoad load;
    if (!read_file_bytes(path.c_str(), bytes, load.error_number)) return load;
    load.database = std::make_shared<const SongLengths>(SongLengths::parse(bytes));
    loaded.emplace(path, load.database);
    return load;
}

std::string song_lengths_warning(const std::string& path, const SongLengths& database) {
    int count = database.malformed_lines();
    if (count == 0) return {};
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, ": %d %s not song lengths and %s skipped (the first is line %d)", count,
                  count == 1 ? "line is" : "lines are", count == 1 ? "was" : "were",
                  database.first_malformed_line());
    return path + numbers;
}

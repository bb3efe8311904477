#include "collection/stil.h"

#include <algorithm>
#include <map>
#include <type_traits>
#include <mutex>

#include "collection/file_bytes.h"

namespace {

constexpr std::string_view field_names[] = {"TITLE", "ARTIST", "AUTHOR", "NAME", "COMMENT"};

// The column where a field's text begins ("COMMENT: " is nine characters);
// continuation lines are indented to it.
constexpr size_t text_column = 9;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view without_line_end(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || is_blank(line.back()))) line.remove_suffix(1);
    return line;
}

std::string_view without_indent(std::string_view line) {
    while (!line.empty() && is_blank(line.front())) line.remove_prefix(1);
    return line;
}

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool less_ignoring_case(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return folded(x) < folded(y); });
}

// Splits off the next line of text, without its line end.
std::string_view take_line(std::string_view& text) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return without_line_end(line);
}

// "(#N)" with N from 1 up; 0 for any other line.
int section_song(std::string_view line) {
    line = without_indent(line);
    if (line.size() < 4 || line.substr(0, 2) != "(#" || line.back() != ')') return 0;
    int song = 0;
    for (char c : line.substr(2, line.size() - 3)) {
        if (c < '0' || c > '9' || song > 100000) return 0;
        song = song * 10 + (c - '0');
    }
    return song;
}

// A field line: its name, and its text after the colon and one blank.
bool field_line(std::string_view line, std::string_view& name, std::string_view& text) {
    std::string_view rest = without_indent(line);
    for (std::string_view candidate : field_names) {
        if (rest.size() > candidate.size() && rest.substr(0, candidate.size()) == candidate &&
            rest[candidate.size()] == ':') {
            name = candidate;
            text = without_indent(rest.substr(candidate.size() + 1));
            return true;
        }
    }
    return false;
}

std::string_view continuation_text(std::string_view line) {
    if (!line.empty() && line.front() == '\t') return line.substr(1);
    size_t indent = 0;
    while (indent < line.size() && indent < text_column && line[indent] == ' ') ++indent;
    return line.substr(indent);
}

}  // namespace

const std::vector<StilField>& StilEntry::song_fields(int song) const {
    for (const StilSong& section : songs)
        if (section.song == song) return section.fields;
    return global;
}

std::string_view stil_field(const std::vector<StilField>& fields, std::string_view name) {
    for (const StilField& field : fields)
        if (field.name == name) return field.text;
    return {};
}

Stil Stil::parse(std::string text) {
    Stil stil;
    stil.text_ = std::move(text);
    std::string_view rest = stil.text_;
    while (!rest.empty()) {
        size_t start = stil.text_.size() - rest.size();
        std::string_view line = take_line(rest);
        if (line.empty() || line.front() != '/') continue;
        stil.index_.push_back({static_cast<uint32_t>(start), static_cast<uint32_t>(line.size()),
                               static_cast<uint32_t>(stil.text_.size() - rest.size())});
    }
    std::stable_sort(stil.index_.begin(), stil.index_.end(), [&stil](const Key& a, const Key& b) {
        return less_ignoring_case(stil.path_of(a), stil.path_of(b));
    });
    return stil;
}

std::string_view Stil::path_of(const Key& key) const {
    return std::string_view(text_).substr(key.path_start, key.path_size);
}

std::optional<StilEntry> Stil::entry(std::string_view collection_path) const {
    auto [first, last] = std::equal_range(
        index_.begin(), index_.end(), collection_path,
        [this](const auto& a, const auto& b) {
            auto view = [this](const auto& side) -> std::string_view {
                if constexpr (std::is_same_v<std::decay_t<decltype(side)>, Key>) return path_of(side);
                else return side;
            };
            return less_ignoring_case(view(a), view(b));
        });
    if (first == last) return std::nullopt;
    auto chosen = std::find_if(first, last, [&](const Key& key) { return path_of(key) == collection_path; });
    if (chosen == last) chosen = first;

    StilEntry entry;
    std::vector<StilField>* fields = &entry.global;
    StilField* field = nullptr;
    std::string_view rest = std::string_view(text_).substr(chosen->body_start);
    while (!rest.empty()) {
        std::string_view line = take_line(rest);
        if (!line.empty() && line.front() == '/') break;  // the next entry
        if (line.empty() || line.front() == '#') continue;
        std::string_view name, text;
        if (int song = section_song(line); song > 0) {
            entry.songs.push_back({song, {}});
            fields = &entry.songs.back().fields;
            field = nullptr;
        } else if (field_line(line, name, text)) {
            fields->push_back({std::string(name), std::string(text)});
            field = &fields->back();
        } else if (field) {
            field->text += '\n';
            field->text += continuation_text(line);
        } else {
            // Text before any field is kept as a comment rather than lost.
            fields->push_back({"COMMENT", std::string(without_indent(line))});
            field = &fields->back();
        }
    }
    return entry;
}

StilLoad load_stil(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const Stil>> loaded;
    std::lock_guard lock(mutex);
    if (auto found = loaded.find(path); found != loaded.end()) return {found->second, 0};
    std::string bytes;
    StilLoad load;
    if (!read_file_bytes(path.c_str(), bytes, load.error_number)) return load;
    load.stil = std::make_shared<const Stil>(Stil::parse(std::move(bytes)));
    loaded.emplace(path, load.stil);
    return load;
}

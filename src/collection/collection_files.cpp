#include "collection/collection_files.h"

#include <vector>

namespace {

bool is_separator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_name(std::string_view a, std::string_view b, bool ignore_case) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ignore_case ? folded(a[i]) != folded(b[i]) : a[i] != b[i]) return false;
    return true;
}

// File names on Windows ignore letter case; elsewhere they do not.
#ifdef _WIN32
constexpr bool names_ignore_case = true;
#else
constexpr bool names_ignore_case = false;
#endif

// A path as its anchor ("/", "C:\", or empty when relative) and its folder
// and file names, with "." dropped and ".." taken back where it can be.
struct SplitPath {
    std::string anchor;
    std::vector<std::string_view> parts;
};

SplitPath split_path(std::string_view path) {
    SplitPath split;
    size_t at = 0;
#ifdef _WIN32
    if (path.size() >= 2 && path[1] == ':') at = 2;
#endif
    while (at < path.size() && is_separator(path[at])) ++at;
    split.anchor = std::string(path.substr(0, at));
    for (char& c : split.anchor)
        if (is_separator(c)) c = '/';
    while (at < path.size()) {
        size_t end = at;
        while (end < path.size() && !is_separator(path[end])) ++end;
        std::string_view part = path.substr(at, end - at);
        if (part == "..") {
            if (!split.parts.empty() && split.parts.back() != "..") split.parts.pop_back();
            else if (split.anchor.empty()) split.parts.push_back(part);  // above a relative start
        } else if (!part.empty() && part != ".") {
            split.parts.push_back(part);
        }
        at = end;
        while (at < path.size() && is_separator(path[at])) ++at;
    }
    return split;
}

// The first count parts of a split path, as a path.
std::string joined(const SplitPath& split, size_t count) {
    std::string path = split.anchor;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) path += '/';
        path += split.parts[i];
    }
    return path;
}

std::string inside(const std::string& folder, std::string_view name) {
    if (folder.empty()) return std::string(name);
    std::string path = folder;
    if (!is_separator(path.back())) path += '/';
    path += name;
    return path;
}

std::string documents_file(const std::string& root, std::string_view name) {
    return inside(inside(root, collection_documents), name);
}

}  // namespace

CollectionFiles find_collection_files(std::string_view songlengths_option, std::string_view hvsc_base,
                                      std::string_view tune_path,
                                      const std::function<bool(const std::string&)>& exists) {
    CollectionFiles found;
    if (!songlengths_option.empty()) {
        found.songlengths = std::string(songlengths_option);
        SplitPath option = split_path(songlengths_option);
        if (option.parts.size() >= 2 &&
            same_name(option.parts[option.parts.size() - 2], collection_documents, true)) {
            std::string stil = inside(joined(option, option.parts.size() - 1), stil_file_name);
            if (exists(stil)) {
                found.stil = stil;
                found.root = joined(option, option.parts.size() - 2);
            }
        }
    }

    if (!hvsc_base.empty()) {
        SplitPath split_base = split_path(hvsc_base);
        std::string base = joined(split_base, split_base.parts.size());
        if (found.songlengths.empty() && exists(documents_file(base, songlengths_file_name)))
            found.songlengths = documents_file(base, songlengths_file_name);
        if (found.stil.empty() && exists(documents_file(base, stil_file_name))) {
            found.stil = documents_file(base, stil_file_name);
            found.root = base;
        }
    }

    SplitPath tune = split_path(tune_path);
    for (size_t folder_parts = tune.parts.size(); folder_parts-- > 0;) {
        if (!found.songlengths.empty() && !found.stil.empty()) break;
        std::string folder = joined(tune, folder_parts);
        if (found.songlengths.empty() && exists(documents_file(folder, songlengths_file_name)))
            found.songlengths = documents_file(folder, songlengths_file_name);
        if (found.stil.empty() && exists(documents_file(folder, stil_file_name))) {
            found.stil = documents_file(folder, stil_file_name);
            found.root = folder.empty() ? "." : folder;
        }
    }
    return found;
}

std::string collection_path(std::string_view root, std::string_view tune_path) {
    SplitPath base = split_path(root);
    SplitPath tune = split_path(tune_path);
    if (!same_name(base.anchor, tune.anchor, names_ignore_case) || tune.parts.size() <= base.parts.size())
        return {};
    for (size_t i = 0; i < base.parts.size(); ++i)
        if (!same_name(base.parts[i], tune.parts[i], names_ignore_case)) return {};
    std::string path;
    for (size_t i = base.parts.size(); i < tune.parts.size(); ++i) {
        path += '/';
        path += tune.parts[i];
    }
    return path;
}

#include "cli/play_list.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Lists that name each other would otherwise expand for ever.
constexpr int list_depth_at_most = 8;

std::string lower_extension(const fs::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

void report(std::FILE* err, const std::string& where, const std::string& why) {
    std::fprintf(err, "zarvel-cli: %s: %s\n", where.c_str(), why.c_str());
}

void add_entry(const fs::path& path, const std::string& where, int depth, std::vector<std::string>& list,
               std::FILE* err);

void add_play_list_file(const fs::path& list_path, int depth, std::vector<std::string>& list, std::FILE* err) {
    std::ifstream in(list_path, std::ios::binary);
    if (!in) {
        report(err, list_path.string(), "cannot read the list");
        return;
    }
    if (depth >= list_depth_at_most) {
        report(err, list_path.string(), "lists inside lists go too deep; left out");
        return;
    }
    fs::path folder = list_path.parent_path();
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // a UTF-8 byte order mark
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        fs::path entry(line.substr(start));
        if (entry.is_relative()) entry = folder / entry;
        add_entry(entry, list_path.string() + " line " + std::to_string(number), depth + 1, list, err);
    }
}

void add_entry(const fs::path& path, const std::string& where, int depth, std::vector<std::string>& list,
               std::FILE* err) {
    std::string named = where == path.string() ? "" : path.string() + ": ";
    std::error_code error;
    fs::file_status status = fs::status(path, error);
    // A tune named on the command line is the loader's to judge, so that it
    // fails in the same words as everywhere else.
    bool named_directly = depth == 0 && !fs::is_directory(status) && !is_play_list_file(path.string());
    if (named_directly) {
        list.push_back(path.string());
        return;
    }
    if (!fs::exists(status)) {
        report(err, where, named + why_missing(error) + "; left out");
        return;
    }
    if (fs::is_directory(status)) {
        std::vector<std::string> tunes = sid_files_below(path.string(), err);
        if (tunes.empty()) report(err, where, named + "no .sid files in the folder");
        list.insert(list.end(), tunes.begin(), tunes.end());
    } else if (is_play_list_file(path.string())) {
        add_play_list_file(path, depth, list, err);
    } else {
        list.push_back(path.string());
    }
}

}  // namespace

std::string why_missing(const std::error_code& error) {
    if (!error || error == std::errc::no_such_file_or_directory) return "no such file or folder";
    return error.message();
}

bool is_play_list_file(const std::string& path) {
    std::string extension = lower_extension(fs::path(path));
    return extension == ".m3u" || extension == ".m3u8";
}

std::vector<std::string> sid_files_below(const std::string& folder, std::FILE* err) {
    std::vector<std::string> tunes;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    if (error) {
        report(err, folder, "cannot read the folder: " + error.message());
        return tunes;
    }
    for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error) {
            report(err, folder, "cannot read the whole folder: " + error.message());
            break;
        }
        std::error_code type_error;
        if (lower_extension(it->path()) == ".sid" && it->is_regular_file(type_error)) tunes.push_back(it->path().string());
    }
    std::sort(tunes.begin(), tunes.end());
    return tunes;
}

std::vector<std::string> build_play_list(const std::vector<std::string>& inputs, std::FILE* err) {
    std::vector<std::string> list;
    for (const std::string& input : inputs) add_entry(fs::path(input), input, 0, list, err);
    return list;
}

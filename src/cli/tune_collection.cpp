#include "cli/tune_collection.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

#include "collection/collection_files.h"
#include "collection/file_bytes.h"

namespace {

// A whole folder of tunes shares one database: its trouble is said once.
bool first_time(const std::string& what) {
    static std::mutex mutex;
    static std::set<std::string> told;
    std::lock_guard lock(mutex);
    return told.insert(what).second;
}

std::shared_ptr<const SongLengths> song_lengths_at(const std::string& path, std::FILE* err) {
    SongLengthsLoad load = load_song_lengths(path);
    if (!load.database) {
        if (first_time(path))
            std::fprintf(err, "zarvel-cli: %s: cannot read the song-length database: %s; song lengths are unknown\n",
                         path.c_str(), std::strerror(load.error_number));
        return nullptr;
    }
    std::string warning = song_lengths_warning(path, *load.database);
    if (!warning.empty() && first_time(path)) std::fprintf(err, "zarvel-cli: %s\n", warning.c_str());
    return load.database;
}

std::shared_ptr<const Stil> stil_at(const std::string& path, std::FILE* err) {
    StilLoad load = load_stil(path);
    if (!load.stil && first_time(path))
        std::fprintf(err, "zarvel-cli: %s: cannot read the tune information list: %s\n", path.c_str(),
                     std::strerror(load.error_number));
    return load.stil;
}

}  // namespace

void add_collection_options(CLI::App& command, CollectionOptions& options) {
    command.add_option("--songlengths", options.songlengths,
                       "the song-length database, Songlengths.md5 (default: HVSC_BASE/DOCUMENTS/Songlengths.md5, "
                       "else the first DOCUMENTS/Songlengths.md5 up from the tune's folder)")
        ->type_name("FILE");
}

TuneRecord look_up_tune(const std::string& path, int songs, const CollectionOptions& options, std::FILE* err) {
    TuneRecord record;
    record.lengths_ms.assign(songs > 0 ? songs : 0, unknown_length_ms);
    int error_number = 0;
    record.md5_known = md5_of_file(path.c_str(), record.md5, error_number);

    std::error_code error;
    std::string absolute = std::filesystem::absolute(path, error).string();
    if (error) absolute = path;
    const char* hvsc_base = std::getenv("HVSC_BASE");
    CollectionFiles files = find_collection_files(options.songlengths, hvsc_base ? hvsc_base : "", absolute,
                                                  [](const std::string& file) { return file_is_readable(file.c_str()); });
    if (!files.songlengths.empty() && record.md5_known) {
        if (auto database = song_lengths_at(files.songlengths, err)) {
            std::span<const int32_t> lengths = database->lengths_ms(record.md5);
            for (size_t i = 0; i < lengths.size() && i < record.lengths_ms.size(); ++i) record.lengths_ms[i] = lengths[i];
        }
    }
    if (!files.stil.empty()) {
        std::string key = collection_path(files.root, absolute);
        if (!key.empty())
            if (auto stil = stil_at(files.stil, err)) record.stil = stil->entry(key);
    }
    return record;
}

bool parse_length_option(const std::string& text, int32_t& ms) {
    if (parse_song_length(text, ms)) return ms > 0;
    char* end = nullptr;
    errno = 0;
    double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !(seconds > 0) || seconds > 1e7) return false;
    ms = static_cast<int32_t>(seconds * 1000 + 0.5);
    return ms > 0;
}

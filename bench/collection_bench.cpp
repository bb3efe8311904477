// Loading the collection's data the way a front end does: one read of the
// file into memory, then the parse. A song-length database of 60,000 tunes
// (about 10 MB, in the collection's own form: a comment line with the
// tune's path before each entry, one to eight songs, some lengths with
// milliseconds and old attribute letters) and a tune information list of
// 20,000 entries are generated first. Prints "songlengths_load_ms" and
// "stil_load_ms", each the median of 7 loads (target under 300 ms for the
// database), and what was loaded.
//
//   collection_bench [tunes, default 60000]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "collection/file_bytes.h"
#include "collection/song_lengths.h"
#include "collection/stil.h"

namespace {

std::string generated_database(int tunes, std::mt19937& random) {
    std::string text = "[Database]\r\n";
    char line[512];
    for (int i = 0; i < tunes; ++i) {
        std::snprintf(line, sizeof line, "; /MUSICIANS/%c/Composer_Number_%05d/A_Tune_With_A_Rather_Long_Title_From_Its_Game_%05d.sid\r\n",
                      'A' + i % 26, i / 7, i);
        text += line;
        for (int digit = 0; digit < 32; ++digit) text += "0123456789abcdef"[random() % 16];
        text += '=';
        int songs = 1 + static_cast<int>(random() % 8);
        for (int song = 0; song < songs; ++song) {
            int seconds = 5 + static_cast<int>(random() % 900);
            if (random() % 3 == 0) {
                std::snprintf(line, sizeof line, "%s%d:%02d.%03d", song ? " " : "", seconds / 60, seconds % 60,
                              static_cast<int>(random() % 1000));
            } else {
                std::snprintf(line, sizeof line, "%s%d:%02d%s", song ? " " : "", seconds / 60, seconds % 60,
                              random() % 10 == 0 ? "(G)" : "");
            }
            text += line;
        }
        text += "\r\n";
    }
    return text;
}

std::string generated_stil(int entries) {
    std::string text = "### A generated list ###\n\n";
    char entry[512];
    for (int i = 0; i < entries; ++i) {
        std::snprintf(entry, sizeof entry,
                      "/MUSICIANS/%c/Composer_Number_%05d/A_Tune_With_A_Long_Title_%05d.sid\n"
                      "COMMENT: A comment about the whole tune, long enough to wrap\n"
                      "         onto a second line.\n"
                      "(#1)\n  TITLE: A title\n ARTIST: An artist\n(#2)\n  TITLE: Another title\n\n",
                      'A' + i % 26, i / 7, i);
        text += entry;
    }
    return text;
}

template <typename Load>
double median_ms(Load load) {
    std::vector<double> runs;
    for (int run = 0; run < 7; ++run) {
        auto start = std::chrono::steady_clock::now();
        load();
        runs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

std::string read_or_exit(const std::string& path) {
    std::string bytes;
    int error = 0;
    if (!read_file_bytes(path.c_str(), bytes, error)) {
        std::fprintf(stderr, "collection_bench: cannot read %s (errno %d)\n", path.c_str(), error);
        std::exit(1);
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    int tunes = argc > 1 ? std::atoi(argv[1]) : 60000;
    std::mt19937 random(1);
    auto folder = std::filesystem::temp_directory_path() / ("zarvel-collection-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::string database_path = (folder / "Songlengths.md5").string();
    std::string stil_path = (folder / "STIL.txt").string();
    std::ofstream(database_path, std::ios::binary) << generated_database(tunes, random);
    std::ofstream(stil_path, std::ios::binary) << generated_stil(tunes / 3);

    size_t database_tunes = 0, stil_entries = 0;
    double database_ms = median_ms([&] {
        database_tunes = SongLengths::parse(read_or_exit(database_path)).tunes();
    });
    double stil_ms = median_ms([&] { stil_entries = Stil::parse(read_or_exit(stil_path)).entries(); });

    std::printf("songlengths file: %.1f MB, %zu tunes\n", std::filesystem::file_size(database_path) / 1e6,
                database_tunes);
    std::printf("songlengths_load_ms %.1f\n", database_ms);
    std::printf("stil file: %.1f MB, %zu entries\n", std::filesystem::file_size(stil_path) / 1e6, stil_entries);
    std::printf("stil_load_ms %.1f\n", stil_ms);
    std::filesystem::remove_all(folder);
    return database_tunes == static_cast<size_t>(tunes) ? 0 : 1;
}

#include "cli/render_plan.h"

#include <filesystem>
#include <map>
#include <system_error>

#include "cli/play_list.h"

namespace fs = std::filesystem;

namespace {

struct Source {
    std::string tune;
    fs::path stem;  // relative to the output folder, without extension
};

std::vector<Source> sources_of(const std::vector<std::string>& inputs, int& unreadable, std::FILE* err) {
    std::vector<Source> sources;
    for (const std::string& input : inputs) {
        std::error_code error;
        fs::file_status status = fs::status(input, error);
        if (!fs::exists(status)) {
            std::fprintf(err, "zarvel-cli: %s: %s\n", input.c_str(), why_missing(error).c_str());
            ++unreadable;
        } else if (fs::is_directory(status)) {
            std::vector<std::string> tunes = sid_files_below(input, err);
            if (tunes.empty()) std::fprintf(err, "zarvel-cli: %s: no .sid files in the folder\n", input.c_str());
            for (const std::string& tune : tunes)
                sources.push_back({tune, fs::path(tune).lexically_relative(input).replace_extension()});
        } else if (is_play_list_file(input)) {
            // A list's tunes come from anywhere: each lands at the top.
            for (const std::string& tune : build_play_list({input}, err))
                sources.push_back({tune, fs::path(tune).filename().replace_extension()});
        } else {
            sources.push_back({input, fs::path(input).filename().replace_extension()});
        }
    }
    return sources;
}

}  // namespace

RenderPlan plan_folder_render(const std::vector<std::string>& inputs, const std::string& out_folder, bool all_songs,
                              int song, const std::function<int(const std::string& tune, int& start_song)>& song_count,
                              std::FILE* err) {
    RenderPlan plan;
    std::map<std::string, std::string> writer_of;  // output file -> the tune that writes it
    for (const Source& source : sources_of(inputs, plan.unreadable, err)) {
        int start_song = 1;
        int songs = song_count(source.tune, start_song);
        if (songs <= 0) {
            ++plan.unreadable;
            continue;
        }
        if (song > songs) {
            std::fprintf(err, "zarvel-cli: %s: --song %d: the tune has %d song%s\n", source.tune.c_str(), song, songs,
                         songs == 1 ? "" : "s");
            ++plan.unreadable;
            continue;
        }
        int first = all_songs ? 1 : song != 0 ? song : start_song;
        int last = all_songs ? songs : first;
        for (int n = first; n <= last; ++n) {
            fs::path file = fs::path(out_folder) / source.stem;
            if (all_songs) file += '-' + std::to_string(n);
            file += ".mid";
            std::string output = file.lexically_normal().string();
            auto [at, added] = writer_of.emplace(output, source.tune);
            if (!added) {
                std::fprintf(err, "zarvel-cli: %s and %s would both be written to %s; nothing was rendered\n",
                             at->second.c_str(), source.tune.c_str(), output.c_str());
                plan.collision = true;
                return plan;
            }
            plan.jobs.push_back({source.tune, n, output});
        }
    }
    return plan;
}

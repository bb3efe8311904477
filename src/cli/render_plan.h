#pragma once
// Where a render of several songs puts each: OUT is a folder that mirrors
// the inputs. A tune given directly, or named by an .m3u list, lands at its
// top; the tunes of a folder keep their paths below that folder. Each song goes to STEM.mid, or to
// STEM-N.mid when every song of a tune is rendered. The whole plan is made,
// and checked for two songs aimed at one file, before anything is written.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

struct RenderJob {
    std::string tune;
    int song;            // 1-based
    std::string output;  // below the output folder
};

struct RenderPlan {
    std::vector<RenderJob> jobs;
    int unreadable = 0;  // inputs and tunes left out, each reported
    bool collision = false;
};

// song_count(tune) gives a tune's songs, or 0 after reporting why it cannot
// be loaded. song: 0 for each tune's start song (start_song(tune)), else
// that song, which a tune with fewer songs cannot render (reported). A
// collision is reported on err naming both tunes; the plan is then not to be
// carried out.
RenderPlan plan_folder_render(const std::vector<std::string>& inputs, const std::string& out_folder, bool all_songs,
                              int song, const std::function<int(const std::string& tune, int& start_song)>& song_count,
                              std::FILE* err);

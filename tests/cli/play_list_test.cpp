// Play lists and render plans over real folders: the order a user sees, the
// entries left out and said so, and no file written twice.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/play_list.h"
#include "cli/render_plan.h"
#include "psid_builder.h"

namespace fs = std::filesystem;

namespace {

struct Captured {
    std::FILE* file;
    char* text = nullptr;
    size_t size = 0;
    Captured() : file(open_memstream(&text, &size)) {}
    ~Captured() { std::free(text); }
    std::string take() {
        std::fclose(file);
        return std::string(text, size);
    }
};

void touch(const fs::path& path, const std::string& text = "") {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Written out of order, with a name in capitals and a file that is no tune.
fs::path music_folder() {
    fs::path root = fs::path(temp_folder()) / "music";
    touch(root / "b" / "two.sid");
    touch(root / "a.sid");
    touch(root / "b" / "one.SID");
    touch(root / "b" / "deeper" / "three.sid");
    touch(root / "notes.txt");
    return root;
}

}  // namespace

TEST(PlayList, FoldersSortByPathAndListsResolveBesideThemselvesSkippingWhatIsMissing) {
    fs::path root = music_folder();
    touch(root / "lists" / "evening.m3u",
          "\xEF\xBB\xBF#EXTM3U\r\n"
          "# a comment\r\n"
          "../b/two.sid\r\n"
          "\r\n"
          "../gone.sid\r\n" +
              (root / "a.sid").string() + "\r\n../b/deeper\n");
    Captured err;
    std::vector<std::string> list = build_play_list(
        {(root / "b").string(), (root / "lists" / "evening.m3u").string(), (root / "nothing.sid").string()},
        err.file);
    std::vector<std::string> expected = {
        (root / "b" / "deeper" / "three.sid").string(), (root / "b" / "one.SID").string(),
        (root / "b" / "two.sid").string(),
        (root / "lists" / ".." / "b" / "two.sid").string(), (root / "a.sid").string(),
        (root / "lists" / ".." / "b" / "deeper" / "three.sid").string(), (root / "nothing.sid").string(),
    };
    EXPECT_EQ(list, expected);
    std::string messages = err.take();
    EXPECT_NE(messages.find("evening.m3u line 5: " + (root / "lists" / ".." / "gone.sid").string() +
                            ": no such file or folder; left out\n"),
              std::string::npos)
        << messages;
    EXPECT_EQ(messages.find("nothing.sid"), std::string::npos) << "a tune named directly is its load's to judge";
}

TEST(PlayList, AListThatNamesItselfEndsWithAMessage) {
    fs::path list = fs::path(temp_folder()) / "loop.m3u";
    touch(list, "loop.m3u\n");
    Captured err;
    EXPECT_TRUE(build_play_list({list.string()}, err.file).empty());
    EXPECT_NE(err.take().find("go too deep"), std::string::npos);
}

TEST(RenderPlan, MirrorsFoldersPutsDirectTunesOnTopAndNumbersEverySong) {
    fs::path root = music_folder();
    fs::path out = fs::path(temp_folder()) / "out";
    auto songs = [](const std::string& tune, int& start_song) {
        start_song = 2;
        return tune.find("two") != std::string::npos ? 3 : 2;
    };
    Captured err;
    RenderPlan all = plan_folder_render({(root / "b").string(), (root / "a.sid").string()}, out.string(), true, 0,
                                        songs, err.file);
    std::vector<std::string> outputs;
    for (const RenderJob& job : all.jobs) outputs.push_back(job.output + " " + std::to_string(job.song));
    std::vector<std::string> expected = {
        (out / "deeper/three-1.mid").string() + " 1", (out / "deeper/three-2.mid").string() + " 2",
        (out / "one-1.mid").string() + " 1",          (out / "one-2.mid").string() + " 2",
        (out / "two-1.mid").string() + " 1",          (out / "two-2.mid").string() + " 2",
        (out / "two-3.mid").string() + " 3",          (out / "a-1.mid").string() + " 1",
        (out / "a-2.mid").string() + " 2",
    };
    EXPECT_EQ(outputs, expected);
    EXPECT_FALSE(all.collision);

    touch(root / "list.m3u", "b/two.sid\n");
    RenderPlan starts = plan_folder_render({(root / "b" / "deeper").string(), (root / "list.m3u").string()},
                                           out.string(), false, 0, songs, err.file);
    ASSERT_EQ(starts.jobs.size(), 2u);
    EXPECT_EQ(starts.jobs[0].output, (out / "three.mid").string());
    EXPECT_EQ(starts.jobs[0].song, 2);
    EXPECT_EQ(starts.jobs[1].output, (out / "two.mid").string()) << "a list's tunes land at the top";
    EXPECT_EQ(err.take(), "");
}

TEST(RenderPlan, TwoTunesAimedAtOneFileAreRefusedBeforeAnyIsWritten) {
    fs::path root = music_folder();
    touch(root / "other" / "two.sid");
    auto one_song = [](const std::string&, int& start_song) {
        start_song = 1;
        return 1;
    };
    Captured err;
    RenderPlan plan = plan_folder_render({(root / "b" / "two.sid").string(), (root / "other" / "two.sid").string()},
                                         "out", false, 0, one_song, err.file);
    EXPECT_TRUE(plan.collision);
    EXPECT_EQ(err.take(), "zarvel-cli: " + (root / "b" / "two.sid").string() + " and " +
                              (root / "other" / "two.sid").string() +
                              " would both be written to out/two.mid; nothing was rendered\n");
    EXPECT_FALSE(fs::exists("out"));
}

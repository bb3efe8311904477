// Where the song-length database and the tune information list are found
// for a tune, over a made-up file system, and a tune's path in the
// collection.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "collection/collection_files.h"

namespace {

struct Search {
    const char* what;
    const char* option;
    const char* hvsc_base;
    const char* tune;
    std::set<std::string> files;
    CollectionFiles expected;
};

TEST(CollectionFiles, TheOptionThenHvscBaseThenTheFirstDocumentsFolderAboveTheTune) {
    const std::string c = "/home/u/C64Music";
    const std::string lengths = c + "/DOCUMENTS/Songlengths.md5";
    const std::string stil = c + "/DOCUMENTS/STIL.txt";
    const std::string inner = c + "/MUSICIANS/X/DOCUMENTS/Songlengths.md5";
    const std::string tune = c + "/MUSICIANS/X/Tune.sid";
    const Search searches[] = {
        {"nothing anywhere", "", "", tune.c_str(), {}, {}},
        {"the option is taken even where no file is", "/nowhere/my.md5", "", tune.c_str(), {lengths, stil},
         {"/nowhere/my.md5", stil, c}},
        {"the option in a DOCUMENTS folder brings its STIL.txt and root", "/other/DOCUMENTS/Songlengths.md5", "",
         tune.c_str(), {lengths, stil, "/other/DOCUMENTS/STIL.txt"},
         {"/other/DOCUMENTS/Songlengths.md5", "/other/DOCUMENTS/STIL.txt", "/other"}},
        {"HVSC_BASE before the walk, its trailing '/' dropped", "", "/base/", tune.c_str(),
         {lengths, stil, "/base/DOCUMENTS/Songlengths.md5", "/base/DOCUMENTS/STIL.txt"},
         {"/base/DOCUMENTS/Songlengths.md5", "/base/DOCUMENTS/STIL.txt", "/base"}},
        {"HVSC_BASE without the files: the walk", "", "/base", tune.c_str(), {lengths, stil},
         {lengths, stil, c}},
        {"the nearest folder above the tune wins, each file on its own", "", "", tune.c_str(),
         {lengths, stil, inner}, {inner, stil, c}},
        {"the walk reaches the file system's root", "", "", "/C64Music/Tune.sid",
         {"/DOCUMENTS/Songlengths.md5"}, {"/DOCUMENTS/Songlengths.md5", "", ""}},
        {"a relative tune is walked to the folder it is relative to", "", "", "MUSICIANS/../MUSICIANS/T.sid",
         {"DOCUMENTS/Songlengths.md5", "DOCUMENTS/STIL.txt"}, {"DOCUMENTS/Songlengths.md5", "DOCUMENTS/STIL.txt", "."}},
    };
    for (const Search& search : searches) {
        CollectionFiles found = find_collection_files(search.option, search.hvsc_base, search.tune,
                                                      [&](const std::string& path) { return search.files.count(path) > 0; });
        EXPECT_EQ(found.songlengths, search.expected.songlengths) << search.what;
        EXPECT_EQ(found.stil, search.expected.stil) << search.what;
        EXPECT_EQ(found.root, search.expected.root) << search.what;
    }
}

TEST(CollectionFiles, ATunesPathInTheCollectionIsItsPathBelowTheRoot) {
    EXPECT_EQ(collection_path("/home/u/C64Music", "/home/u/C64Music/MUSICIANS/H/Hubbard_Rob/Commando.sid"),
              "/MUSICIANS/H/Hubbard_Rob/Commando.sid");
    EXPECT_EQ(collection_path("/home/u/C64Music/", "/home/u//C64Music/./GAMES/../GAMES/A.sid"), "/GAMES/A.sid");
    EXPECT_EQ(collection_path(".", "GAMES/A.sid"), "/GAMES/A.sid");
    EXPECT_EQ(collection_path("/", "/A.sid"), "/A.sid");
    EXPECT_EQ(collection_path("/home/u/C64Music", "/home/u/C64Music2/A.sid"), "") << "a name that only begins alike";
    EXPECT_EQ(collection_path("/home/u/C64Music", "/home/u/C64Music"), "");
    EXPECT_EQ(collection_path("/home/u/C64Music", "relative/A.sid"), "");
    EXPECT_EQ(collection_path("/home/u/C64Music", "/home/u/c64music/A.sid"), "") << "letter case counts here";
}

}  // namespace

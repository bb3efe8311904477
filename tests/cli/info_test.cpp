// info over a collection: the lengths as the database gives them, the STIL
// entry, and texts in UTF-8, read back through a JSON reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "cli/exit_codes.h"
#include "cli/info_command.h"
#include "small_collection.h"

namespace {

struct Output {
    int code;
    std::string out;
    std::string err;
};

Output info(InfoOptions options) {
    char *out_text = nullptr, *err_text = nullptr;
    size_t out_size = 0, err_size = 0;
    std::FILE* out = open_memstream(&out_text, &out_size);
    std::FILE* err = open_memstream(&err_text, &err_size);
    int code = run_info(options, out, err);
    std::fclose(out);
    std::fclose(err);
    Output result{code, std::string(out_text, out_size), std::string(err_text, err_size)};
    std::free(out_text);
    std::free(err_text);
    return result;
}

}  // namespace

TEST(Info, JsonOverAFolderGivesTheDatabasesLengthsTheStilEntryAndUtf8Texts) {
    SmallCollection collection;
    collection.add("multisong.sid", "M/Multi.sid", "0:01 0:02.5(G) 75:00.123 0:00");
    collection.add("melody.sid", "M/Unlisted.sid", "");
    collection.add("two_sids.sid", "T/Two.sid", "1:02");
    PsidBuilder latin1;
    latin1.name = "R\xF6" "dig \xA9";
    latin1.at(0x1000, {0x60, 0x00, 0x00, 0x60});
    std::string latin1_path = (collection.root() / "MUSICIANS" / "R" / "Rodig.sid").string();
    std::filesystem::create_directories(collection.root() / "MUSICIANS" / "R");
    std::filesystem::copy_file(latin1.write(), latin1_path);
    collection.list(latin1_path, "0:09");
    collection.stil("### M ###\n/MUSICIANS/M/Multi.sid\nCOMMENT: Four songs,\n         two rates.\n(#2)\n"
                    "  TITLE: Second \xE0 la carte\n ARTIST: Osket\n");

    InfoOptions options;
    options.tunes = {(collection.root() / "MUSICIANS").string()};
    options.json = true;
    Output o = info(options);
    ASSERT_EQ(o.code, EXIT_OK) << o.err;
    EXPECT_EQ(o.err, "");
    std::istringstream lines(o.out);
    std::vector<nlohmann::json> tunes;
    for (std::string line; std::getline(lines, line);) tunes.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(tunes.size(), 4u);

    // Every song has its stream figures (their values: stream_options_test).
    for (nlohmann::json& tune : tunes) {
        for (nlohmann::json& song : tune["song_list"]) {
            EXPECT_EQ(song["stream_bytes_per_s"].size(), 4u);
            song.erase("stream_bytes_per_s");
        }
    }
    const nlohmann::json& multi = tunes[0];
    EXPECT_EQ(multi["path"], (collection.root() / "MUSICIANS/M/Multi.sid").string());
    EXPECT_EQ(multi["md5"], "82789177dae9a7021c0ca2334fcebb57");
    EXPECT_EQ(multi["songs"], 4);
    EXPECT_EQ(multi["start_song"], 2);
    EXPECT_EQ(multi["song_list"], nlohmann::json::parse(R"([
        {"song": 1, "rate_hz": 59.996, "length_ms": 1000}, {"song": 2, "rate_hz": 50.125, "length_ms": 2500},
        {"song": 3, "rate_hz": 50.125, "length_ms": 4500123}, {"song": 4, "rate_hz": 59.996, "length_ms": null}])"));
    EXPECT_EQ(multi["stil"], nlohmann::json::parse(R"({
        "global": [{"name": "COMMENT", "text": "Four songs,\ntwo rates."}],
        "songs": [{"song": 2, "fields": [{"name": "TITLE", "text": "Second \u00e0 la carte"},
                                         {"name": "ARTIST", "text": "Osket"}]}]})"));

    EXPECT_EQ(tunes[1]["song_list"][0]["length_ms"], nullptr);
    EXPECT_EQ(tunes[1]["stil"], nullptr);
    EXPECT_EQ(tunes[2]["name"], "R\u00f6dig \u00a9");
    EXPECT_EQ(tunes[2]["song_list"][0]["length_ms"], 9000);
    EXPECT_EQ(tunes[3]["sids"], nlohmann::json({54272, 54304}));
    EXPECT_EQ(tunes[3]["clock"], "PAL");
    EXPECT_EQ(tunes[3]["sid_model"], "6581");

    // The same in words, with the database named and the STIL entry printed.
    options.json = false;
    options.tunes = {(collection.root() / "MUSICIANS/M/Multi.sid").string(), latin1_path};
    options.collection.songlengths = (collection.root() / "DOCUMENTS/Songlengths.md5").string();
    o = info(options);
    // The stream figures' line under each song, checked on its own; the song
    // line gives the rate to the thousandth, as below.
    EXPECT_NE(o.out.find("song 1: 59.996 Hz, 0:01\n  stream, first 60 s: "), std::string::npos) << o.out;
    std::string without_figures;
    std::istringstream text(o.out);
    for (std::string line; std::getline(text, line);)
        if (line.rfind("  stream, ", 0) != 0) without_figures += line + "\n";
    o.out = without_figures;
    EXPECT_NE(o.out.find("md5          82789177dae9a7021c0ca2334fcebb57\nclock        unknown\n"
                         "sid_model    unknown\nmodel        called by the player\n\nsong 1: 59.996 Hz, 0:01\n"
                         "song 2: 50.125 Hz, 0:02 (start song)\n"
                         "song 3: 50.125 Hz, 75:00\nsong 4: 59.996 Hz, length unknown\n\nSTIL\n"
                         "    COMMENT: Four songs,\n             two rates.\n(#2)\n"
                         "      TITLE: Second \xC3\xA0 la carte\n     ARTIST: Osket\n"),
              std::string::npos)
        << o.out;
    EXPECT_NE(o.out.find("name         \"R\xC3\xB6" "dig \xC2\xA9\"\n"), std::string::npos) << o.out;
}

TEST(Info, ATuneThatCannotBeLoadedIsReportedAndTheOthersAreStillShown) {
    InfoOptions options;
    options.tunes = {std::string(ZARVEL_TUNES_DIR) + "/mus.sid", std::string(ZARVEL_TUNES_DIR) + "/melody.sid",
                     "no-such.sid"};
    options.json = true;
    Output o = info(options);
    EXPECT_EQ(o.code, EXIT_LOAD_FAILED);
    EXPECT_EQ(std::count(o.out.begin(), o.out.end(), '\n'), 1) << o.out;
    EXPECT_NE(o.err.find("mus.sid: not a playable tune"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("no-such.sid: cannot open the file"), std::string::npos) << o.err;
}

TEST(Info, ATuneThatDrivesItselfShowsItsModelRateAndInterruptSources) {
    InfoOptions options;
    options.json = true;
    options.tunes = {std::string(ZARVEL_TUNES_DIR) + "/rsid_raster4.sid"};
    Output o = info(options);
    ASSERT_EQ(o.code, EXIT_OK) << o.err;
    nlohmann::json tune = nlohmann::json::parse(o.out);
    EXPECT_EQ(tune["model"], "drives_itself");
    // Four raster interrupts a PAL frame: in the first two seconds
    // (1,970,496 cycles) 100 whole frames of 19,656 cycles and line $10 of
    // the next, 401 frames, 200.5 a second.
    EXPECT_EQ(tune["song_list"][0]["rate_hz"], 200.5);
    EXPECT_EQ(tune["song_list"][0]["interrupt_sources"], nlohmann::json({"raster"}));
}

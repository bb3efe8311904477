// zarvel-cli steps on our own tunes: the header, each call's SID writes and
// rate as the player would produce them, and the failures.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli/exit_codes.h"
#include "cli/steps_command.h"
#include "psid_builder.h"

namespace {

struct StepsRun {
    int exit_code;
    std::string out;
    std::string err;

    std::vector<std::string> lines() const {
        std::vector<std::string> result;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) result.push_back(line);
        return result;
    }
    // The line that starts with prefix ("play 8:"), or "" when none does.
    std::string line(const std::string& prefix) const {
        for (auto& l : lines())
            if (l.compare(0, prefix.size(), prefix) == 0) return l;
        return "";
    }
};

std::string tune(const char* name) { return std::string(ZARVEL_TUNES_DIR) + "/" + name; }

StepsRun steps(const std::string& path, int song = 0, int count = 10) {
    char* out_text = nullptr;
    char* err_text = nullptr;
    size_t out_size = 0;
    size_t err_size = 0;
    std::FILE* out = open_memstream(&out_text, &out_size);
    std::FILE* err = open_memstream(&err_text, &err_size);
    int code = run_steps({{path, song}, count}, out, err);
    std::fclose(out);
    std::fclose(err);
    StepsRun run{code, out_text, err_text};
    std::free(out_text);
    std::free(err_text);
    return run;
}


TEST(StepsCommand, MelodyPrintsTheHeaderThenEachCallsWrites) {
    StepsRun run = steps(tune("melody.sid"));
    ASSERT_EQ(run.exit_code, EXIT_OK);
    EXPECT_EQ(run.err, "");
    std::string path = tune("melody.sid");
    EXPECT_EQ(run.out,
              "tune         " + path + "\n"
              "version      1\n"
              "data_offset  0x0076\n"
              "load_address 0x1000\n"
              "init_address 0x1000\n"
              "play_address 0x1003\n"
              "songs        1\n"
              "start_song   1\n"
              "speed        0x00000000\n"
              "name         \"Zarvel Melody\"\n"
              "author       \"Zarvel developers\"\n"
              "released     \"2026 Osket\"\n"
              "flags        0x0000\n"
              "irq_mode     0\n"
              "\n"
              "init song 1: returned (16 instructions), 50.125 Hz, 5 writes: 18=0F 05=09 06=A4 02=00 03=08\n"
              "play 1: returned (18 instructions), 50.125 Hz, 3 writes: 00=67 01=11 04=41\n"
              "play 2: returned (12 instructions), 50.125 Hz, 0 writes\n"
              "play 3: returned (12 instructions), 50.125 Hz, 0 writes\n"
              "play 4: returned (12 instructions), 50.125 Hz, 0 writes\n"
              "play 5: returned (12 instructions), 50.125 Hz, 0 writes\n"
              "play 6: returned (12 instructions), 50.125 Hz, 0 writes\n"
              "play 7: returned (14 instructions), 50.125 Hz, 1 write: 04=40\n"
              "play 8: returned (18 instructions), 50.125 Hz, 0 writes\n"
              "play 9: returned (18 instructions), 50.125 Hz, 3 writes: 00=ED 01=15 04=41\n"
              "play 10: returned (12 instructions), 50.125 Hz, 0 writes\n");
}

TEST(StepsCommand, CountChoosesHowManyPlayCallsRun) {
    EXPECT_EQ(steps(tune("melody.sid"), 0, 0).line("play "), "");
    StepsRun run = steps(tune("melody.sid"), 0, 65);
    EXPECT_EQ(run.line("play 65:"), "play 65: returned (18 instructions), 50.125 Hz, 3 writes: 00=67 01=11 04=41") << "the phrase loops";
    EXPECT_EQ(run.line("play 66:"), "");
}

// The rates below were whole Hz of a 1 MHz clock once; by hand now, 985,248
// Hz over the period's cycles: a PAL frame (19,656) 50.125 Hz, latch $4025
// (16,422) 59.996 Hz, latch 10,000 98.515 Hz and latch 20,000 49.26 Hz.
TEST(StepsCommand, MultisongRatesFollowSpeedBitsAndLatch) {
    struct Case {
        int song;          // 0: the start song
        int started_song;
        const char* rate;  // after the init and every play call
    };
    const Case cases[] = {
        {0, 2, ", 50.125 Hz, "},  // the start song
        {1, 1, ", 59.996 Hz, "},  // latch $4025
        {2, 2, ", 50.125 Hz, "},  // latch $4CC7
        {3, 3, ", 50.125 Hz, "},  // speed bit clear: the latch does not count
        {4, 4, ", 59.996 Hz, "},  // latch never set: the start value $4025
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.song);
        StepsRun run = steps(tune("multisong.sid"), c.song, 3);
        ASSERT_EQ(run.exit_code, EXIT_OK);
        std::string init = run.line("init song " + std::to_string(c.started_song) + ":");
        EXPECT_NE(init.find(c.rate), std::string::npos) << init;
        std::string play = run.line("play 3:");
        EXPECT_NE(play.find(std::string(c.rate) + "13 writes: 00="), std::string::npos) << play;
    }
}

// The cycles from the frame before, as "(+N," on a step's line; -1 for none.
long gap_of(const std::string& line) {
    size_t at = line.find("(+");
    return at == std::string::npos ? -1 : std::stol(line.substr(at + 2));
}

TEST(StepsCommand, TunesThatInstallTheirOwnHandlerShowEachFrameAtItsMachineTime) {
    // irq_vector.s: latch 10,000 from the init, so 10,001 cycles between
    // handlers; the eighth handler writes 20,000, which the timer loads at
    // its next underflow. The start frame holds the init's stores and the
    // first handler's; step n is handler n + 1. A handler's end moves by
    // the instruction the interrupt waited for and its own path: a few cycles.
    StepsRun run = steps(tune("irq_vector.sid"), 0, 10);
    ASSERT_EQ(run.exit_code, EXIT_OK);
    EXPECT_EQ(run.line("play_address"), "play_address 0x0000");
    EXPECT_EQ(run.line("drives itself"), "drives itself: each step runs the machine to its next frame");
    EXPECT_NE(run.line("start song 1:").find("6 writes: 18=0F 0C=00 0D=F0 07=CE 08=22 0B=11"), std::string::npos);
    for (int step = 2; step <= 8; ++step) EXPECT_NEAR(gap_of(run.line("step " + std::to_string(step) + ":")), 10'001, 16) << step;
    // Notes of the arpeggio (notes.inc): G4 then B4, gate on for odd handlers.
    EXPECT_NE(run.line("step 6:").find("3 writes: 07=26 08=34 0B=11"), std::string::npos);
    EXPECT_NE(run.line("step 7:").find("3 writes: 07=9C 08=45 0B=10"), std::string::npos);
    EXPECT_EQ(run.line("step 9:").rfind("step 9: no frame by cycle", 0), 0u) << "a video frame passes in between";
    EXPECT_NEAR(gap_of(run.line("step 10:")), 20'001, 16);

    // irq_rti.s points the hardware vector at a handler ending in RTI: the
    // machine banks the KERNAL out after the init so that the vector is the
    // one taken, and 300 steps later it still plays.
    run = steps(tune("irq_rti.sid"), 0, 300);
    ASSERT_EQ(run.exit_code, EXIT_OK);
    EXPECT_EQ(run.out.find("jammed"), std::string::npos);
    ASSERT_NE(run.line("step 300:"), "");
    std::string last_frame;
    for (const std::string& line : run.lines())
        if (line.find("frame at") != std::string::npos) last_frame = line;
    EXPECT_NEAR(gap_of(last_frame), 2 * 19'656, 64) << "latch $4CC7, a store every other handler";
    EXPECT_NE(last_frame.find(" 12="), std::string::npos) << "voice 3's control, not the decoy's\n" << last_frame;
}

TEST(StepsCommand, AnAbandonedPlayCallEndsTheRunAtItsSongTime) {
    StepsRun run = steps(tune("hang.sid"), 0, 20);
    EXPECT_EQ(run.exit_code, EXIT_PLAYBACK_STOPPED);
    EXPECT_EQ(run.line("play 12:"), "play 12: returned (11 instructions), 50.125 Hz, 0 writes");
    EXPECT_EQ(run.lines().back(), "play 13: abandoned (200002 instructions), 50.125 Hz, 1 write: 04=10");
    EXPECT_EQ(run.err, "zarvel-cli: the play routine of " + tune("hang.sid") + " did not return at 0.259 s: playback stopped\n");
}

TEST(StepsCommand, LoadFailuresGiveTheLoadersMessageAndExitCodeOne) {
    std::string not_psid = PsidBuilder{}.write("text.sid");
    {
        std::FILE* f = std::fopen(not_psid.c_str(), "wb");
        std::fputs("RSID, not ours", f);
        std::fclose(f);
    }
    struct Case {
        std::string path;
        const char* message;
    };
    const Case cases[] = {
        {tune("no such tune.sid"), "cannot open the file: No such file or directory"},
        {ZARVEL_TUNES_DIR, "cannot read the file: Is a directory"},
        {not_psid, "not a PSID file: the file ends inside its header"},
        // Flags bit 1 of an RSID: a BASIC program (the format's definition).
        {tune("rsid_basic.sid"), "this tune is a BASIC program and needs the C64's BASIC ROM"},
        {tune("mus.sid"), "not a playable tune: the file holds Sidplayer MUS data, not 6502 code"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        StepsRun run = steps(c.path);
        EXPECT_EQ(run.exit_code, EXIT_LOAD_FAILED);
        EXPECT_EQ(run.err, "zarvel-cli: " + c.path + ": " + c.message + "\n");
        EXPECT_EQ(run.out, "");
    }
}

TEST(StepsCommand, SongBeyondTheTunesCountIsBadUsage) {
    StepsRun run = steps(tune("multisong.sid"), 5);
    EXPECT_EQ(run.exit_code, EXIT_USAGE);
    EXPECT_EQ(run.err, "zarvel-cli: --song 5: the tune has 4 songs\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(steps(tune("multisong.sid"), 4).exit_code, EXIT_OK);
}

TEST(StepsCommand, TextsAreQuotedWithUnprintableBytesEscaped) {
    PsidBuilder builder;
    builder.name = "Say \"hi\"\\";
    builder.author = "Caf\xE9\x01";
    builder.released = std::string(32, 'R');  // no terminating zero
    builder.at(0x1000, {0x60});
    builder.at(0x1003, {0x60});
    StepsRun run = steps(builder.write("texts.sid"), 0, 1);
    ASSERT_EQ(run.exit_code, EXIT_OK);
    EXPECT_EQ(run.line("name"), "name         \"Say \\\"hi\\\"\\\\\"");
    EXPECT_EQ(run.line("author"), "author       \"Caf\\xE9\\x01\"");
    EXPECT_EQ(run.line("released"), "released     \"" + std::string(32, 'R') + "\"");
}

}  // namespace

// zarvel-cli as the shell runs it: every bad input with its message and exit
// code, --help on every command and --version, output that cannot be
// written, long paths, and play without a terminal to the built-in monitor
// (no MIDI service needed): it plays, and every way out mutes first.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "midi/frame_decoder.h"
#include "psid_builder.h"
#include "small_collection.h"
#include "version.h"

namespace {

using namespace std::chrono_literals;

const std::string program = ZARVEL_CLI_PROGRAM;
std::string tune(const char* name) { return std::string(ZARVEL_TUNES_DIR) + "/" + name; }

ChildResult cli(std::vector<std::string> args) {
    args.insert(args.begin(), program);
    return run_child(args);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The file a builder writes, cut to its first n bytes.
std::string cut_file(const char* name, size_t n) {
    PsidBuilder builder;
    builder.at(0x1000, {0x60});
    std::vector<uint8_t> bytes = builder.bytes();
    bytes.resize(n);
    std::string path = builder.write(name);
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

// An RSID whose flags say BASIC program (bit 1), which no command plays.
std::string rsid_file() {
    PsidBuilder builder;
    builder.flags = 0x0002;
    builder.at(0x1000, {0x60});
    std::vector<uint8_t> bytes = builder.bytes();
    bytes[0] = 'R';
    std::string path = builder.write("rsid.sid");
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
}

TEST(CliProgram, EveryBadInputHasItsMessageAndExitCode) {
    const std::string rsid = rsid_file();
    const std::string cut_header = cut_file("cut_header.sid", 123);
    const std::string no_data = cut_file("no_data.sid", 124);
    const std::string missing = tune("missing.sid");
    const std::string tunes = ZARVEL_TUNES_DIR;
    const std::string empty_folder = temp_folder();
    const std::string long_path = std::string(ZARVEL_TUNES_DIR) + "/" + std::string(300, 'x') + ".sid";
    const std::string denied = temp_folder() + "/denied";
    std::filesystem::create_directories(denied);
    std::filesystem::permissions(denied, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                             std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    // Root may write anywhere: the refusal needs another user.
    const std::string unprivileged = geteuid() == 0 ? "exec setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    const std::string full = temp_folder() + "/full";
    struct Case {
        std::vector<std::string> args;
        int exit_code;
        std::string message;  // the first line on stderr
        std::string condition = "";  // shell words that set the condition up and run the program
        bool last_line = false;      // the message is the last line on stderr, after the others
        bool prints = false;         // a render's summary or info's text on stdout, besides
    };
    const std::vector<Case> cases = {
        // Load failures: 1, with the file, what failed and why.
        {{"info", missing}, 1, "zarvel-cli: " + missing + ": cannot open the file: No such file or directory"},
        {{"play", missing, "--monitor"}, 1,
         "zarvel-cli: " + missing + ": cannot open the file: No such file or directory"},
        {{"dump", rsid}, 1,
         "zarvel-cli: " + rsid + ": this tune is a BASIC program and needs the C64's BASIC ROM"},
        {{"play", rsid, "--seconds", "1"}, 1,
         "zarvel-cli: " + rsid + ": this tune is a BASIC program and needs the C64's BASIC ROM"},
        {{"steps", cut_header}, 1, "zarvel-cli: " + cut_header + ": not a PSID file: the file ends inside its header"},
        {{"render", no_data, "-o", "/tmp/zarvel-never.mid"}, 1,
         "zarvel-cli: " + no_data + ": not a PSID file: the file holds no tune data"},
        {{"render", tune("mus.sid"), "-o", "/tmp/zarvel-never.mid"}, 1,
         "zarvel-cli: " + tune("mus.sid") + ": not a playable tune: the file holds Sidplayer MUS data, not 6502 code"},
        {{"info", tune("mus.sid")}, 1,
         "zarvel-cli: " + tune("mus.sid") + ": not a playable tune: the file holds Sidplayer MUS data, not 6502 code"},
        {{"dump", tunes}, 1, "zarvel-cli: " + tunes + ": cannot read the file: Is a directory"},
        {{"play", empty_folder, "--monitor"}, 1, "zarvel-cli: " + empty_folder + ": no .sid files in the folder"},
        {{"dump", long_path}, 1, "zarvel-cli: " + long_path + ": cannot open the file: File name too long"},
        // The song: 2, as for any other bad argument; the parser's messages
        // name the command whose help tells more.
        {{"dump", tune("multisong.sid"), "--song", "5"}, 2, "zarvel-cli: --song 5: the tune has 4 songs"},
        {{"play", tune("melody.sid"), "--song", "2", "--monitor"}, 2, "zarvel-cli: --song 2: the tune has 1 song"},
        {{"render", tune("melody.sid"), "--song", "0", "-o", "/tmp/zarvel-never.mid"}, 2,
         "zarvel-cli: --song: 0 is out of range; give a whole number from 1 to 65535 (see zarvel-cli render --help)"},
        // The window's scales and switches.
        {{"play", tune("melody.sid"), "--speed", "500"}, 2,
         "zarvel-cli: --speed: 500 is out of range; give a whole number from 20 to 200"},
        {{"dump", tune("melody.sid"), "--speed", "19"}, 2, "zarvel-cli: --speed: 19 is out of range"},
        {{"dump", tune("melody.sid"), "--start", "1:75"}, 2, "zarvel-cli: --start: 1:75 is no time"},
        {{"render", tune("melody.sid"), "-o", "/tmp/zarvel-never.syx", "--filter", "201"}, 2,
         "zarvel-cli: --filter: 201 is out of range"},
        {{"play", tune("melody.sid"), "--voices", "12"}, 2,
         "zarvel-cli: --voices: MASK is three characters 0 or 1, such as 101 (see zarvel-cli play --help)"},
        {{"dump", tune("melody.sid"), "--voices", "1011"}, 2, "zarvel-cli: --voices: MASK is three characters 0 or 1"},
        // Numbers that are none.
        {{"dump", tune("melody.sid"), "--speed", "fast"}, 2,
         "zarvel-cli: --speed: fast is not a number; give a whole number from 20 to 200 (see zarvel-cli dump --help)"},
        {{"steps", tune("melody.sid"), "--count", "1.5"}, 2,
         "zarvel-cli: --count: 1.5 is not a whole number; give a whole number from 0 to 1000000"},
        {{"play", tune("melody.sid"), "--seconds", "ten"}, 2,
         "zarvel-cli: --seconds: ten is not a number; give seconds (or m:ss) above 0 and at most 10000000"},
        // Lengths and files.
        {{"play", tune("melody.sid"), "--seconds", "0"}, 2,
         "zarvel-cli: --seconds: 0 is out of range; give seconds (or m:ss) above 0 and at most 10000000"},
        {{"render", tune("melody.sid"), "-o", "/tmp/zarvel-never.mid", "--seconds", "4000"}, 2,
         "zarvel-cli: --seconds: 4000 is out of range; give seconds (or m:ss) above 0 and at most 3600"},
        {{"render", tune("melody.sid"), "-o", "/tmp/zarvel-never.wav"}, 2,
         "zarvel-cli: --output: FILE must end in .mid or .syx"},
        {{"render", tune("melody.sid")}, 2, "zarvel-cli: --output is required (see zarvel-cli render --help)"},
        {{"dump", tune("melody.sid"), "--buffers", "-1"}, 2,
         "zarvel-cli: --buffers: -1 is out of range; give a whole number from 0 to 100000000"},
        // Ports.
        {{"play", tune("melody.sid"), "--monitor", "--port", "0"}, 2, "zarvel-cli: --port excludes --monitor"},
        {{"play", tune("melody.sid"), "--port", "no such port anywhere"}, 1,
         "zarvel-cli: --port no such port anywhere: "},
        // Commands.
        {{}, 2, "zarvel-cli: a command is required: ports, info, play, render, dump or steps (see zarvel-cli --help)"},
        {{"info"}, 2, "zarvel-cli: TUNE is required (see zarvel-cli info --help)"},
        {{"bogus"}, 2,
         "zarvel-cli: bogus is not a command: ports, info, play, render, dump or steps (see zarvel-cli --help)"},
        {{"dump", tune("melody.sid"), "--bogus"}, 2, "zarvel-cli: The following argument was not expected: --bogus"},
        {{"--bogus"}, 2, "zarvel-cli: --bogus is not an option (see zarvel-cli --help)"},
        // The system's own reason, not what it led to afterwards.
        {{"render", tune("melody.sid"), tune("demo.sid"), "-o", denied + "/out"}, 1,
         "zarvel-cli: " + denied + "/out: cannot create the folder: Permission denied", unprivileged, false, true},
        {{"info", tune("melody.sid"), "--songlengths", tunes}, 0,
         "zarvel-cli: " + tunes + ": cannot read the song-length database: Is a directory", "", false, true},
        {{"play", tune("melody.sid"), "--seconds", "1:75"}, 2,
         "zarvel-cli: --seconds: 1:75 is no length; give seconds (or m:ss) above 0 and at most 10000000"},
        // A file size limit of 1 KB refuses the first song, and would every one after it.
        {{"render", tune("multisong.sid"), "--all-songs", "-o", full, "-j", "1", "--seconds", "0:30"}, 1,
         "zarvel-cli: render stopped: " + full + "/multisong-1.mid could not be written, and no later song could be",
         "ulimit -f 1; exec", true, true},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& arg : c.args) shown += arg + " ";
        SCOPED_TRACE(c.condition + shown);
        std::string run = (c.condition.empty() ? "exec" : c.condition) + " \"$@\"";
        std::vector<std::string> args = {"bash", "-c", run, "bash", program};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ChildResult r = run_child(args);
        EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
        std::vector<std::string> err = lines_of(r.err);
        ASSERT_FALSE(err.empty());
        const std::string& line = c.last_line ? err.back() : err[0];
        EXPECT_EQ(line.substr(0, c.message.size()), c.message);
        if (!c.prints) EXPECT_EQ(r.out, "") << "nothing on stdout";
    }
}

TEST(CliProgram, VersionComesFromTheProjectAndHelpMentionsIt) {
    ChildResult r = cli({"--version"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, std::string("zarvel-cli ") + ZARVEL_VERSION + "\n");
    EXPECT_NE(cli({"--help"}).out.find("  --version "), std::string::npos);
}

// Output lost on the way out is a failure with its reason, never exit 0.
TEST(CliProgram, OutputThatCannotBeWrittenIsAFailure) {
    for (const char* command : {"info", "dump", "steps"}) {
        ChildResult r = run_child({"bash", "-c", "exec \"$0\" \"$@\" >/dev/full", program, command, tune("demo.sid")});
        EXPECT_EQ(r.exit_code, 1) << command;
        EXPECT_EQ(r.err, "zarvel-cli: cannot write to standard output: No space left on device\n") << command;
    }

    // A render past the file size limit (1 KB) keeps the file it would have replaced.
    const std::string folder = temp_folder();
    const std::string target = folder + "/song.mid";
    { std::ofstream(target) << "old"; }
    ChildResult r = run_child({"bash", "-c", "ulimit -f 1; exec \"$0\" \"$@\"", program, "render", tune("demo.sid"),
                               "-o", target, "--seconds", "60"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "zarvel-cli: " + target + ": cannot write: File too large\n");
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path().filename());
    EXPECT_EQ(files, std::vector<std::string>{"song.mid"}) << "no temporary file left behind";
    std::ifstream in(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "old");
}

// The window's 259-character buffer is no limit here.
TEST(CliProgram, APathLongerThanTheWindowsBufferLoads) {
    const std::string folder = temp_folder() + "/" + std::string(200, 'f');
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/" + std::string(200, 't') + ".sid";
    std::filesystem::copy_file(tune("melody.sid"), path);
    for (std::vector<std::string> args : {std::vector<std::string>{"info", path},
                                          {"dump", path, "--buffers", "1"},
                                          {"play", path, "--monitor", "--seconds", "0.2"}}) {
        ChildResult r = cli(args);
        EXPECT_EQ(r.exit_code, 0) << args[0] << ": " << r.err;
    }
}

TEST(CliProgram, EveryCommandHasHelp) {
    for (const char* command : {"ports", "info", "play", "render", "dump", "steps"}) {
        ChildResult r = cli({command, "--help"});
        EXPECT_EQ(r.exit_code, 0) << command;
        EXPECT_NE(r.out.find(std::string("Usage: zarvel-cli ") + command), std::string::npos) << r.out;
    }
    ChildResult r = cli({"--help"});
    EXPECT_EQ(r.exit_code, 0);
    for (const char* command : {"ports", "info", "play", "render", "dump", "steps"})
        EXPECT_NE(r.out.find(std::string("  ") + command), std::string::npos) << command;
}

TEST(CliProgram, InfoShowsTheHeaderAndEachSongsRate) {
    ChildResult r = cli({"info", tune("multisong.sid")});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 27u) << r.out;
    EXPECT_EQ(lines[6], "songs        4");
    EXPECT_EQ(lines[7], "start_song   2");
    EXPECT_EQ(lines[9], "name         \"Zarvel Multisong\"");
    EXPECT_EQ(lines[10], "author       \"Zarvel developers\"");
    EXPECT_EQ(lines[11], "released     \"2026 Osket\"");
    // Each play call stores 13 registers, each once (steps): 25-byte frames.
    // Songs 1 and 4, a call every 16,422 cycles (16.668 ms): 3,600 buffers in
    // 60 s, 60 in any 1 s, 1500 bytes/s, the start's smaller frames rounding
    // away. Songs 2 and 3, a PAL frame (19,656 cycles, 19.950 ms): buffers 0..3,007
    // in 60 s, the start's 42 + 0 + 21 bytes and calls 0..3,004,
    // (63 + 3,005 x 25) / 60 = 1,253.1; any 1 s holds 51 (50 x 19.950 =
    // 997.5 ms), 51 x 25 = 1275. The changes-only figures are what the
    // encoder's own tests vouch for, as info computes them.
    const std::string song_1_stream = "  stream, first 60 s: 1500 bytes/s mean, 1500 peak; changes only 868 mean, 911 peak";
    const std::string song_2_stream = "  stream, first 60 s: 1253 bytes/s mean, 1275 peak; changes only 709 mean, 761 peak";
    const std::string song_3_stream = "  stream, first 60 s: 1253 bytes/s mean, 1275 peak; changes only 696 mean, 750 peak";
    const std::string song_4_stream = "  stream, first 60 s: 1500 bytes/s mean, 1500 peak; changes only 916 mean, 955 peak";
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 14, lines.end()),
              (std::vector<std::string>{"md5          82789177dae9a7021c0ca2334fcebb57", "clock        unknown",
                                        "sid_model    unknown", "model        called by the player", "",
                                        "song 1: 59.996 Hz, length unknown", song_1_stream,
                                        "song 2: 50.125 Hz, length unknown (start song)", song_2_stream,
                                        "song 3: 50.125 Hz, length unknown", song_3_stream,
                                        "song 4: 59.996 Hz, length unknown", song_4_stream}));

    // A tune that installs its own handler drives itself: its rate is the
    // frames it sends in its first two seconds (1,970,496 cycles), by hand:
    // the first at the start latch's underflow, eight more 10,001 apart to
    // cycle 96,558, then one per 20,001 (its eighth handler's latch): 93
    // more, 102 frames, 51 a second.
    r = cli({"info", tune("irq_vector.sid")});
    std::vector<std::string> irq_lines = lines_of(r.out);
    EXPECT_EQ(irq_lines.at(irq_lines.size() - 3), "song 1: 51 Hz, length unknown (start song)");
    EXPECT_EQ(irq_lines.back(), "  interrupts in the first second: CIA 1 timer A");
}

TEST(CliProgram, DumpWritesItsLinesAndNothingElse) {
    ChildResult r = cli({"dump", tune("demo.sid"), "--buffers", "300", "--speed", "150", "--voices", "101"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 300u);
    for (const std::string& line : lines) {
        // "13", or "13" and " XX" per byte.
        // 100000 / (50 x 150) = 13.3 ms: 13, 13, 14.
        ASSERT_TRUE(line.substr(0, 2) == "13" || line.substr(0, 2) == "14") << line;
        for (size_t i = 2; i < line.size(); i += 3) {
            ASSERT_EQ(line[i], ' ') << line;
            ASSERT_TRUE(isxdigit(line[i + 1]) && isxdigit(line[i + 2]) && !islower(line[i + 1]) &&
                        !islower(line[i + 2]))
                << line;
        }
    }
}

// The registers the messages of dump lines [begin, end) leave on a chip of zeros.
SidRegisters registers_after(const std::vector<std::string>& lines, size_t begin, size_t end) {
    SidRegisters registers{};
    for (size_t i = begin; i < end; ++i) {
        std::vector<uint8_t> message;
        for (size_t at = lines[i].find(' '); at != std::string::npos; at = lines[i].find(' ', at + 1)) {
            message.push_back(static_cast<uint8_t>(std::stoul(lines[i].substr(at + 1, 2), nullptr, 16)));
            if (message.back() != 0xF7) continue;
            apply_register_frame(message.data(), message.size(), registers);
            message.clear();
        }
    }
    return registers;
}

// dump --start 0:10 of demo.sid (PAL, a call every 19,656 cycles at 985,248
// Hz, 19.950 ms): after its start buffer, a frame that leaves the synthesizer
// as the uninterrupted dump's first 505 lines do (the start buffer, an empty
// one, the init's frame, play calls 0..501 at 0..9.995 s; call 502 begins at
// 502 x 19,656 / 985,248 = 10.015 s).
TEST(CliProgram, DumpFromTenSecondsBeginsWithTheStateAnUninterruptedDumpHasThere) {
    ChildResult whole = cli({"dump", tune("demo.sid"), "--buffers", "505"});
    ChildResult sought = cli({"dump", tune("demo.sid"), "--start", "0:10", "--buffers", "2"});
    ASSERT_EQ(whole.exit_code, 0) << whole.err;
    ASSERT_EQ(sought.exit_code, 0) << sought.err;
    std::vector<std::string> w = lines_of(whole.out), s = lines_of(sought.out);
    ASSERT_EQ(s.size(), 2u);
    SidRegisters expected = registers_after(w, 0, w.size()), got = registers_after(s, 1, 2);
    for (int reg = 0; reg < 25; ++reg) EXPECT_EQ(got.value[reg], expected.value[reg]) << "register " << reg;
}

// play without a terminal: the monitor logs a line a second, and the last
// line, written after the stream is closed, shows the chip as the mute frames
// left it.
// No MIDI service at all is an answer, as no port is, not a failure.
TEST(CliProgram, PortsWithoutAnyMidiServiceSaysSoAndSucceeds) {
    setenv("JACK_DEFAULT_SERVER", "zarvel-test-no-such-server", 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    ChildResult r = cli({"ports"});
    unsetenv("JACK_DEFAULT_SERVER");
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    if (access("/dev/snd/seq", F_OK) != 0) {  // with an ALSA sequencer its own ports are listed
        EXPECT_EQ(r.out, "no MIDI service: neither an ALSA sequencer nor a JACK server is running\n");
    }
}

TEST(CliProgram, PlayWithoutATerminalPlaysForItsSecondsThenMutes) {
    auto began = std::chrono::steady_clock::now();
    ChildResult r = cli({"play", tune("demo.sid"), "--monitor", "--seconds", "2.5"});
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_GE(took, 2.5);
    EXPECT_LT(took, 5.0);
    std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0].substr(0, 6), "0:01  ");
    EXPECT_NE(lines[0].find("v1 "), std::string::npos);
    EXPECT_NE(lines[0].find("low-pass volume 15"), std::string::npos) << "the demo's own mode and volume";
    EXPECT_EQ(lines[2].substr(0, 6), "0:02  ");
    EXPECT_NE(lines[2].find("no filter volume 0"), std::string::npos) << lines[2];
}

TEST(CliProgram, PlayWithoutATerminalSaysEachSongOfAListAndEndsWithIt) {
    SmallCollection collection;
    std::string first = collection.add("melody.sid", "A/1.sid", "0:00.5");
    std::string second = collection.add("melody_ntsc.sid", "A/2.sid", "");
    ChildResult r = cli({"play", (collection.root() / "MUSICIANS").string(), "--monitor", "--default-length", "0.5"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::vector<std::string> songs;
    for (const std::string& line : lines_of(r.out))
        if (line.rfind("file ", 0) == 0) songs.push_back(line);
    EXPECT_EQ(songs, (std::vector<std::string>{"file 1/2  song 1/1  length 0:00  Zarvel Melody  " + first,
                                               "file 2/2  song 1/1  length 0:00  Zarvel Melody  " + second}));
    EXPECT_NE(lines_of(r.out).back().find("volume 0"), std::string::npos) << r.out;
}

// --start past the first song's length (the list's default, 0.5 s) ends that
// song at once; the list goes on to the second, which plays from its start.
TEST(CliProgram, PlayFromPastTheFirstSongsLengthGoesOnToTheNext) {
    ChildResult r = cli({"play", tune("demo.sid"), tune("melody.sid"), "--monitor", "--default-length", "0.5",
                         "--start", "0:01"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::vector<std::string> songs;
    for (const std::string& line : lines_of(r.out))
        if (line.rfind("file ", 0) == 0) songs.push_back(line.substr(0, 9));
    EXPECT_EQ(songs, (std::vector<std::string>{"file 1/2 ", "file 2/2 "})) << r.out;
}

TEST(CliProgram, PlayMutesBeforeItEndsOnSigterm) {
    std::vector<std::string> args = {program, "play", tune("multisong.sid"), "--monitor"};
    PipedChild child(args);
    std::string line;
    ASSERT_TRUE(child.read_line(line, 5s)) << "the first monitor line";
    EXPECT_NE(line.find("band-pass volume 15"), std::string::npos) << line;
    kill(child.pid(), SIGTERM);
    std::string last = line;
    while (child.read_line(line, 5s)) last = line;
    EXPECT_EQ(child.finish(5s), 128 + SIGTERM) << "as the shell reports a program a signal ended";
    EXPECT_NE(last.find("no filter volume 0"), std::string::npos) << last;
}

TEST(CliProgram, EveryCommandTellsOfAPlayRoutineThatNeverReturnsInTheSameWords) {
    // hang.sid's thirteenth play call runs 13 PAL frames into the song: 259.35 ms.
    const std::string stop = "zarvel-cli: the play routine of " + tune("hang.sid") + " did not return at 0.259 s: playback stopped\n";
    const std::string file = temp_folder() + "/hang.mid";
    struct Case {
        std::vector<std::string> args;
        std::string last_line;  // of stdout: how far the command got
    };
    const Case cases[] = {
        {{"play", tune("hang.sid"), "--monitor", "--seconds", "5"}, ""},
        {{"dump", tune("hang.sid"), "--buffers", "500"},  // ends with the mute frames
         "20 F0 2D 4E 00 00 00 01 00 00 00 00 00 F7 F0 2D 4E 00 00 00 01 00 00 00 00 00 F7"},
        {{"render", tune("hang.sid"), "-o", file, "--seconds", "10"}, file + ": 15 buffers, 0.299 s"},  // 15 PAL frames: 299.25 ms
        {{"steps", tune("hang.sid"), "--count", "20"}, "play 13: abandoned (200002 instructions), 50.125 Hz, 1 write: 04=10"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        ChildResult r = cli(c.args);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, stop);
        ASSERT_FALSE(lines_of(r.out).empty());
        if (c.args[0] == "play") {
            EXPECT_NE(lines_of(r.out).back().find("volume 0"), std::string::npos) << r.out;
        } else {
            EXPECT_EQ(lines_of(r.out).back(), c.last_line);
        }
    }
    EXPECT_EQ(lines_of(cli({"dump", tune("hang.sid"), "--buffers", "500"}).out).size(), 15u);
}

TEST(CliProgram, BrokenTunesArePassedOverAndCounted) {
    // Without a terminal: the init of broken_init.sid and hang.sid's
    // thirteenth play call (259.35 ms into the song: 13 PAL frames) never return; the tunes
    // after each still play, and the end says how many could not.
    const std::string broken = tune("broken_init.sid");
    const std::string hang = tune("hang.sid");
    ChildResult r = cli({"play", tune("melody.sid"), broken, hang, tune("multisong.sid"), "--monitor",
                         "--default-length", "0:01"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "zarvel-cli: the init routine of " + broken + " did not return: playback stopped\n"
                     "zarvel-cli: the play routine of " + hang + " did not return at 0.259 s: playback stopped\n"
                     "zarvel-cli: 2 of 4 tunes could not be played\n");
    size_t last_tune = r.out.find("file 4/4  song 2/4  length 0:01  Zarvel Multisong");
    ASSERT_NE(last_tune, std::string::npos) << r.out;
    EXPECT_NE(r.out.find("band-pass volume 15", last_tune), std::string::npos)
        << "the last tune played (its song 2 filter shows on the monitor): " << r.out;
}

TEST(CliProgram, SigtermEndsAParallelRenderWithNothingLeftBehind) {
    // Renders of an hour each, far longer than the test waits: SIGTERM finds
    // both workers writing.
    const std::string folder = temp_folder() + "/terminated";
    PipedChild render({program, "render", tune("multisong.sid"), "--all-songs", "-o", folder, "-j", "2",
                       "--seconds", "60:00"});
    auto deadline = std::chrono::steady_clock::now() + 10s;
    auto temporary_files = [&folder] {
        int count = 0;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error))
            count += entry.path().filename().string().find(".mid.") != std::string::npos;
        return count;
    };
    while (temporary_files() < 2 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
    ASSERT_EQ(temporary_files(), 2) << "both workers under way";
    kill(render.pid(), SIGTERM);
    std::string line;
    std::string out;
    while (render.read_line(line, 10s)) out += line + "\n";
    EXPECT_EQ(render.finish(10s), 128 + SIGTERM);
    // The summary; the two songs never begun are not tried (a worker that
    // finished just before the signal may have written its song).
    EXPECT_NE(out.find("of 4 songs to " + folder), std::string::npos) << out;
    EXPECT_NE(out.find("not tried)"), std::string::npos) << out;
    EXPECT_EQ(temporary_files(), 0) << "the workers removed their files";
    // No worker outlives the render: none still has the folder open or named.
    for (const auto& process : std::filesystem::directory_iterator("/proc")) {
        std::ifstream in(process.path() / "cmdline");
        std::string cmdline(std::istreambuf_iterator<char>(in), {});
        EXPECT_EQ(cmdline.find(folder), std::string::npos) << process.path();
    }
}

}  // namespace

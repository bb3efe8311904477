// What the play command shows: the built-in monitor's reading of the frames
// (notes from PAL frequencies, waveforms, gate, cutoff, volume), the status
// line, and the choice of a port and of the voices from the command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/midi_ports.h"
#include "cli/sid_monitor.h"
#include "cli/status_line.h"
#include "cli/tune_options.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string note(uint16_t frequency_register) {
    char out[8];
    note_name(frequency_register, out);
    return out;
}

TEST(MonitorNotes, PalFrequencyRegistersNameTheirNotes) {
    struct Case {
        uint16_t reg;
        const char* note;
    };
    const Case cases[] = {
        {0x1167, "C4"},  {0x1270, "C#4"}, {0x1389, "D4"}, {0x15ED, "E4"},  {0x1D45, "A4"},  // the test tunes' table
        {0x0EA2, "A3"},  {0x459C, "C6"},  {0x0751, "A2"},
        {0x0116, "C0"},                   // 16.3 Hz: the lowest note named
        {0x0100, "---"},                  // 15.0 Hz: below C0
        {0x0001, "---"},  {0x0000, "---"},  // silent
        {0xFFFF, "B7"},                   // 3,848.6 Hz, the register's top
    };
    for (const Case& c : cases) EXPECT_EQ(note(c.reg), c.note) << std::hex << c.reg;
    EXPECT_NEAR(sid_frequency_hz(0x1D45), 440.0, 0.05);
}

TEST(MonitorNotes, WaveformsFromTheControlRegister) {
    struct Case {
        uint8_t control;
        const char* name;
    };
    const Case cases[] = {
        {0x00, "none"}, {0x01, "none"},        {0x11, "triangle"},       {0x21, "saw"},
        {0x41, "pulse"}, {0x81, "noise"},      {0x30, "triangle+saw"},   {0xF0, "triangle+saw+pulse+noise"},
        {0x08, "none"},  // the test bit alone
    };
    for (const Case& c : cases) {
        char out[32];
        waveform_name(c.control, out);
        EXPECT_STREQ(out, c.name) << std::hex << int(c.control);
    }
}

// The reset frame, the name, and the demo's first play frame, in one buffer.
const Bytes demo_start = {
    0xF0, 0x2D, 0x4E, 0x43, 0x61, 0x70, 0x01, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x07, 0x7F, 0x00, 0x0F, 0xF7,                                              // reset frame
    0xF0, 0x2D, 0x4F, 'Z', 'a', 'r', 'v', 'e', 'l', ' ', 'D', 'e', 'm', 'o', 0xF7,  // name
    0xF0, 0x2D, 0x4E, 0x43, 0x67, 0x30, 0x0E, 0x40, 0x20, 0x00, 0x00, 0x51, 0x07, 0x22, 0x0E, 0x10, 0x04,
    0x5A, 0x2B, 0x02, 0x30, 0x21, 0x41, 0x41, 0xF7,  // play 1: A2 saw, A3 pulse, E5 pulse, cutoff 386
};

TEST(SidMonitor, ShowsWhatTheFramesLeftOnTheChip) {
    SidMonitor monitor;
    monitor.play(demo_start.data(), static_cast<uint32_t>(demo_start.size()), 20, 0);
    monitor.play(nullptr, 0, 20, 20000);  // an empty buffer changes nothing
    EXPECT_EQ(monitor.frames(), 2u);

    SidRegisters sid = monitor.registers();
    char name[40];
    monitor.last_text(name);
    EXPECT_STREQ(name, "Zarvel Demo");
    MonitorLines lines;
    format_monitor(sid, lines);
    EXPECT_STREQ(lines[0], "voice 1  A2   saw             gate on");
    EXPECT_STREQ(lines[1], "voice 2  A3   pulse           gate on");
    EXPECT_STREQ(lines[2], "voice 3  E5   pulse           gate on");
    // Cutoff: register 22 = 0x30, register 21 = 2: 0x30 x 8 + 2 = 386.
    // Register 24 is still the reset frame's 0x0F: no filter mode, volume 15.
    EXPECT_STREQ(lines[3], "filter   cutoff  386 of 2047  no filter  volume 15");

    char line[256];
    format_monitor_line(sid, line, sizeof line);
    EXPECT_STREQ(line, "v1 A2 saw on | v2 A3 pulse on | v3 E5 pulse on | cutoff 386 no filter volume 15");
}

TEST(SidMonitor, TheMuteFramesShowAsVolumeZero) {
    SidMonitor monitor;
    const Bytes mute = {0xF0, 0x2D, 0x4E, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7,
                        0xF0, 0x2D, 0x4E, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7};
    monitor.play(demo_start.data(), static_cast<uint32_t>(demo_start.size()), 20, 0);
    monitor.play(mute.data(), static_cast<uint32_t>(mute.size()), 20, 20000);
    MonitorLines lines;
    format_monitor(monitor.registers(), lines);
    EXPECT_STREQ(lines[3], "filter   cutoff  386 of 2047  no filter  volume 0");
    EXPECT_STREQ(lines[0], "voice 1  A2   saw             gate on") << "a mute leaves the voices alone";
}

TEST(StatusLine, OneLineWithEveryControl) {
    StatusFields fields{"Playing", "Zarvel Melody", 2, 4, "75 Hz", 150, 40, {1, 0, 1}, 754};
    char line[200];
    format_status_line(fields, line, sizeof line);
    EXPECT_STREQ(line, "Playing  Zarvel Melody  song 2/4  75 Hz  speed 150%  filter 40%  voices 101  12:34");
    format_status_line(fields, line, 12);
    EXPECT_STREQ(line, "Playing  Za") << "cut to the room given";

    EXPECT_STREQ(playback_state_name(1, 0), "Playing");
    EXPECT_STREQ(playback_state_name(0, 1), "Paused");
    EXPECT_STREQ(playback_state_name(0, 0), "Stopped");
}

TEST(StatusLine, TheListLineFitsItsColumnsByShorteningTheNameOnly) {
    std::string name = "\xC3\x85ke's Thirty-Two Character Name!";  // 32 characters, the first two bytes
    ListLineFields fields{2, 14, 1, 3, 83999, 192000, name.c_str(), "zsynth:in"};
    EXPECT_EQ(format_list_line(fields, 200), "file 2/14  song 1/3  1:23 / 3:12  " + name + "  zsynth:in");
    EXPECT_EQ(format_list_line(fields, 60), "file 2/14  song 1/3  1:23 / 3:12  \xC3\x85ke's Thirty-T~  zsynth:in");
    fields.length_ms = -1;
    EXPECT_EQ(format_list_line(fields, 36), "file 2/14  song 1/3  1:23 / -:--") << "the numbers before the name";
}

TEST(StatusLine, ATunesNameCannotReachTheTerminalAsControlBytes) {
    const char name[32] = "Caf\xE9\x1B[2J\x07!";
    char out[40];
    printable_text(name, sizeof name, out, sizeof out);
    EXPECT_STREQ(out, "Caf??[2J?!");
    const char full[32] = {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H',
                           'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'};
    printable_text(full, sizeof full, out, sizeof out);
    EXPECT_EQ(std::string(out).size(), 32u) << "a name without a zero byte is all 32 characters";
}

TEST(PortChoice, ByIndexWholeNameOrAPartOfOneName) {
    const std::vector<std::string> names = {"Midi Through:Midi Through Port", "zsynth:in", "zsynth:in2"};
    struct Case {
        const char* wanted;
        int device;  // -1: refused
        std::string why;
    };
    // A refusal lists the ports to choose from, one a line, by index.
    const std::string ports = "; the ports are:\n  0  Midi Through:Midi Through Port\n  1  zsynth:in\n  2  zsynth:in2";
    const Case cases[] = {
        {"0", 0, ""},
        {"2", 2, ""},
        {"3", -1, "no MIDI output port has the index 3" + ports},
        {"99999999999", -1, "no MIDI output port has the index 99999999999" + ports},
        {"zsynth:in", 1, ""},  // whole name, though also part of the next
        {"ZSynth:IN", 1, ""},  // the same in other letters, still before the part
        {"in2", 2, ""},
        {"Through", 0, ""},
        {"midi through", 0, ""},
        {"zsynth", -1, "\"zsynth\" is part of 2 port names; give more of the name or the index" + ports},
        {"fluid", -1, "no MIDI output port is named \"fluid\"" + ports},
    };
    for (const Case& c : cases) {
        std::string why;
        EXPECT_EQ(find_port(c.wanted, names, why), c.device) << c.wanted;
        EXPECT_EQ(why, c.why) << c.wanted;
    }
    std::string why;
    EXPECT_EQ(find_port("0", {}, why), -1);
    EXPECT_EQ(why, "there is no MIDI output port");
}

TEST(VoiceMask, ThreeCharactersZeroOrOne) {
    std::array<int32_t, 3> enabled{};
    ASSERT_TRUE(parse_voice_mask("101", enabled));
    EXPECT_EQ(enabled, (std::array<int32_t, 3>{1, 0, 1}));
    ASSERT_TRUE(parse_voice_mask("000", enabled));
    EXPECT_EQ(enabled, (std::array<int32_t, 3>{0, 0, 0}));
    for (const char* bad : {"", "11", "1111", "1a1", " 11", "112", "on,off"})
        EXPECT_FALSE(parse_voice_mask(bad, enabled)) << '"' << bad << '"';
}

}  // namespace

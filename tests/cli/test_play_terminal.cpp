// play on a terminal (a pseudo-terminal here) with the built-in monitor: the
// keys drive the controller as the window's controls do, the status line
// follows, and q or Ctrl-C mute before the program ends and give the
// terminal back as it was.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "child_process.h"

namespace {

using namespace std::chrono_literals;

const std::string program = ZARVEL_CLI_PROGRAM;
std::string tune(const char* name) { return std::string(ZARVEL_TUNES_DIR) + "/" + name; }

constexpr auto patience = 5s;

class PlayOnATerminal : public ::testing::Test {
protected:
    // Presses key and waits until the output since then holds text.
    bool press(PtyChild& child, const std::string& key, const std::string& text) {
        size_t mark = child.mark();
        child.send(key);
        return child.wait_for(text, patience, mark);
    }
    // The terminal as a shell leaves it: lines with echo.
    static void expect_line_mode(const termios& modes) {
        EXPECT_TRUE(modes.c_lflag & ICANON);
        EXPECT_TRUE(modes.c_lflag & ECHO);
        EXPECT_TRUE(modes.c_lflag & ISIG);
    }
};

TEST_F(PlayOnATerminal, KeysDriveTheControllerAndTheStatusLineFollows) {
    PtyChild child({program, "play", tune("multisong.sid"), "--monitor"});
    ASSERT_TRUE(child.wait_for("Playing  Zarvel Multisong  song 2/4  50 Hz  speed 100%  filter 100%  voices 111",
                               patience))
        << child.output();
    EXPECT_TRUE(child.wait_for("band-pass  volume 15", patience)) << "the monitor shows the song's filter";

    EXPECT_TRUE(press(child, "1", "voices 011"));
    EXPECT_TRUE(child.wait_for("voice 1  ---", patience)) << "a muted voice is sent frequency 0";
    EXPECT_TRUE(press(child, "1", "voices 111"));
    EXPECT_TRUE(press(child, "+", "song 2/4  55 Hz  speed 110%"));
    EXPECT_TRUE(press(child, "]", "filter 110%"));
    EXPECT_TRUE(press(child, "-", "song 2/4  50 Hz  speed 100%"));

    EXPECT_TRUE(press(child, "n", "Playing  Zarvel Multisong  song 3/4  50 Hz"));
    EXPECT_TRUE(child.wait_for("low-pass   volume 12", patience)) << "song 3's filter and volume";
    EXPECT_TRUE(press(child, "n", "song 4/4  60 Hz"));
    child.send("n");
    std::this_thread::sleep_for(300ms);
    EXPECT_NE(child.last_line_with("  song ").find("song 4/4"), std::string::npos) << "the last song stays the last";
    EXPECT_TRUE(press(child, "p", "song 3/4  50 Hz"));

    EXPECT_TRUE(press(child, " ", "Paused   Zarvel Multisong  song 3/4"));
    EXPECT_TRUE(child.wait_for("no filter  volume 0", patience)) << "a pause sends the mute frames";
    EXPECT_TRUE(press(child, " ", "Playing  Zarvel Multisong  song 3/4"));
    EXPECT_TRUE(child.wait_for("low-pass   volume 12", patience)) << "the restore frame brings the volume back";
    EXPECT_TRUE(press(child, "s", "Stopped  Zarvel Multisong  song 3/4"));
    EXPECT_TRUE(child.wait_for("no filter  volume 0", patience)) << "Stop mutes too";
    EXPECT_TRUE(press(child, " ", "Playing  Zarvel Multisong  song 3/4  50 Hz  speed 100%  filter 110%  voices 111  0:00"))
        << "Play from Stopped starts the song again";

    size_t before_quit = child.mark();
    ASSERT_TRUE(child.wait_for("volume 12", patience, before_quit)) << "playing again";
    child.send("q");
    EXPECT_EQ(child.wait_exit(patience), 0);
    // The cutoff is wherever the sweep was; the mode and volume are the mute's.
    std::string last = child.last_line_with("volume ");
    EXPECT_EQ(last.substr(last.size() - 19), "no filter  volume 0") << "the last screen shows the chip after the mute frames";
    expect_line_mode(child.modes());
}

TEST_F(PlayOnATerminal, CtrlCMutesAndGivesTheTerminalBack) {
    PtyChild child({program, "play", tune("demo.sid"), "--monitor"});
    ASSERT_TRUE(child.wait_for("Playing  Zarvel Demo  song 1/1  50 Hz", patience)) << child.output();
    ASSERT_TRUE(child.wait_for("low-pass   volume 15", patience));
    child.send("\x03");  // the terminal turns it into SIGINT
    EXPECT_EQ(child.wait_exit(patience), 0);
    std::string last = child.last_line_with("volume ");
    EXPECT_NE(last.find("volume 0"), std::string::npos) << last;
    expect_line_mode(child.modes());
}

TEST_F(PlayOnATerminal, SecondsEndPlayOnATerminalToo) {
    auto began = std::chrono::steady_clock::now();
    PtyChild child({program, "play", tune("melody.sid"), "--monitor", "--seconds", "1"});
    EXPECT_EQ(child.wait_exit(patience), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - began, 1s);
    EXPECT_NE(child.output().find("Playing  Zarvel Melody  song 1/1"), std::string::npos);
    expect_line_mode(child.modes());
}

}  // namespace

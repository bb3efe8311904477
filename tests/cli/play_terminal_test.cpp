// play on a terminal (a pseudo-terminal here) with the built-in monitor: the
// keys drive the controller as the window's controls do, whole escape
// sequences do nothing, the status line follows, q or Ctrl-C mute before the
// program ends and give the terminal back as it was, and Ctrl-Z mutes before
// the program stops.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "small_collection.h"

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

TEST_F(PlayOnATerminal, EscapeSequencesAreWholeKeysAndDoNothing) {
    PtyChild child({program, "play", tune("multisong.sid"), "--monitor"});
    ASSERT_TRUE(child.wait_for("Playing  Zarvel Multisong  song 2/4", patience)) << child.output();
    // Up, Down (application mode), Home, End, Page Up, Insert, Delete, F1,
    // F5, F12, Ctrl-Up, the console's F1, rxvt's Ctrl-Left, Alt-1. Read a
    // byte at a time they would step the filter, the songs and voice 1.
    child.send("\x1b[A\x1bOB\x1b[1~\x1b[4~\x1b[5~\x1b[2~\x1b[3~\x1bOP\x1b[15~\x1b[24~\x1b[1;5A\x1b[[A\x1bOd\x1b" "1");
    EXPECT_TRUE(press(child, "1", "voices 011"));
    EXPECT_NE(child.last_line_with("  song ").find("song 2/4  50 Hz  speed 100%  filter 100%  voices 011"),
              std::string::npos)
        << child.last_line_with("  song ");
    // A lone Escape is a key of its own: the next key is not taken as Alt and it.
    child.send("\x1b");
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(press(child, "1", "voices 111"));
    child.send("q");
    EXPECT_EQ(child.wait_exit(patience), 0);
}

// Ctrl-Z under a shell with job control: the mute frames reach the
// synthesizer before the program stops, and fg plays on with the volume back.
TEST_F(PlayOnATerminal, CtrlZMutesAndStopsAndFgPlaysOn) {
    PtyChild shell({"env", "HISTFILE=/dev/null", "PS1=$ ", "bash", "--norc", "--noprofile", "-i"});
    shell.send("'" + program + "' play '" + tune("multisong.sid") + "' --monitor\n");
    ASSERT_TRUE(shell.wait_for("Playing  Zarvel Multisong  song 2/4", patience)) << shell.output();
    ASSERT_TRUE(shell.wait_for("band-pass  volume 15", patience));

    size_t mark = shell.mark();
    shell.send("\x1a");
    ASSERT_TRUE(shell.wait_for("Stopped", patience, mark)) << shell.output().substr(mark);
    std::string last = shell.last_line_with("volume ");
    EXPECT_EQ(last.substr(last.size() - 19), "no filter  volume 0") << "muted before it stopped";
    EXPECT_NE(shell.last_line_with("  song ").find("Paused   Zarvel Multisong  song 2/4"), std::string::npos);

    mark = shell.mark();
    shell.send("fg\n");
    EXPECT_TRUE(shell.wait_for("Playing  Zarvel Multisong  song 2/4", patience, mark)) << shell.output().substr(mark);
    EXPECT_TRUE(shell.wait_for("band-pass  volume 15", patience, mark)) << "the restore frame";
    EXPECT_TRUE(press(shell, "1", "voices 011")) << "keys work again";

    mark = shell.mark();
    shell.send("q");
    ASSERT_TRUE(shell.wait_for("$ ", patience, mark));
    EXPECT_TRUE(press(shell, "echo \"exit $?\"\n", "exit 0"));
    shell.send("exit\n");
    EXPECT_EQ(shell.wait_exit(patience), 0);
}

TEST_F(PlayOnATerminal, CtrlCMutesAndGivesTheTerminalBack) {
    PtyChild child({program, "play", tune("demo.sid"), "--monitor"});
    ASSERT_TRUE(child.wait_for("Playing  Zarvel Demo  song 1/1  50 Hz", patience)) << child.output();
    ASSERT_TRUE(child.wait_for("low-pass   volume 15", patience));
    child.send("\x03");  // the terminal turns it into SIGINT
    EXPECT_EQ(child.wait_exit(patience), 128 + SIGINT) << "as the shell reports a program Ctrl-C ended";
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

// A folder of a collection: each song for its database length, then the
// next song and file by themselves; the arrows and N and P move as well;
// the list line shows where, how long and how far; past the last song the
// program mutes and ends by itself.
TEST_F(PlayOnATerminal, AFolderMovesThroughSongsAndFilesByItselfAndByTheKeys) {
    SmallCollection collection;
    collection.add("multisong.sid", "A/1_multi.sid", "0:01 0:01 0:09 0:09");
    collection.add("melody.sid", "A/2_melody.sid", "0:02");
    collection.stil("/MUSICIANS/A/1_multi.sid\n(#2)\n  TITLE: The Second\n ARTIST: Caf\xE9\n");
    PtyChild child({program, "play", (collection.root() / "MUSICIANS").string(), "--all-songs", "--monitor"});
    ASSERT_TRUE(child.wait_for("file 1/2  song 1/4  0:00 / 0:01  Zarvel Multisong  monitor", patience)) << child.output();
    ASSERT_TRUE(child.wait_for("file 1/2  song 2/4  0:00 / 0:01", patience)) << "the next song by itself";
    EXPECT_TRUE(child.wait_for("TITLE: The Second  ARTIST: Caf\xC3\xA9", patience));
    ASSERT_TRUE(child.wait_for("file 1/2  song 3/4  0:00 / 0:09", patience));
    EXPECT_TRUE(child.wait_for("song 3/4  0:01 / 0:09", patience)) << "the elapsed time runs";
    EXPECT_TRUE(press(child, "\x1b[C", "file 1/2  song 4/4  0:00 / 0:09")) << "right arrow";
    EXPECT_TRUE(press(child, "\x1b[C", "file 2/2  song 1/1  0:00 / 0:02  Zarvel Melody")) << "past a file's last song";
    EXPECT_TRUE(press(child, "\x1b[D", "file 1/2  song 4/4")) << "left arrow back into the previous file";
    EXPECT_TRUE(press(child, "N", "file 2/2  song 1/1"));
    EXPECT_TRUE(press(child, "P", "file 1/2  song 1/4"));
    EXPECT_TRUE(press(child, "N", "file 2/2  song 1/1  0:00 / 0:02"));
    EXPECT_EQ(child.wait_exit(patience), 0) << "the list ends by itself";
    std::string last = child.last_line_with("volume ");
    EXPECT_EQ(last.substr(last.size() - 8), "volume 0") << last;
    expect_line_mode(child.modes());
}

}  // namespace

namespace {

// A tmux session on its own server, running one command: what a terminal of
// that size really shows, wrapped lines and scrolling included.
class TmuxScreen {
public:
    // A socket of its own each time: kill-server returns before the old
    // server has gone, and a new session sent to it would die with it.
    TmuxScreen(const std::string& command, int columns, int rows)
        : socket_("zarvel-test-" + std::to_string(getpid()) + "-" + std::to_string(next_socket_++)) {
        tmux({"-f", "/dev/null", "new-session", "-d", "-x", std::to_string(columns), "-y", std::to_string(rows), command});
    }
    ~TmuxScreen() { tmux({"kill-server"}); }
    std::string tmux(std::vector<std::string> args) {
        args.insert(args.begin(), {"tmux", "-L", socket_});
        return run_child(args).out;
    }
    // The screen once it shows text, or as it is when patience runs out.
    std::string wait_for(const std::string& text) {
        auto give_up = std::chrono::steady_clock::now() + patience;
        std::string shown = tmux({"capture-pane", "-p"});
        for (; shown.find(text) == std::string::npos && std::chrono::steady_clock::now() < give_up;
             shown = tmux({"capture-pane", "-p"}))
            std::this_thread::sleep_for(50ms);
        return shown;
    }

private:
    static inline int next_socket_ = 0;
    std::string socket_;
};

}  // namespace

TEST(PlayOnTerminalsOfAnyWidth, TheStatusFitsTheClockRunsAndEveryKeyCanBeSeen) {
    // Every key of the help, as the manual page lists them.
    const std::vector<std::string> keys = {"space play/pause", "s stop",   "n/p song",   "<-/-> list's song",
                                           "N/P file",         "1 2 3 voices", "+/- speed", "[/] filter",
                                           "? all keys",       "q quit"};
    struct Case {
        int columns;
        int rows;
        bool press_question;  // the short help leaves keys out; ? shows them
        // The status line as it fits (tune: "Zarvel Melody", a PAL frame:
        // 985,248 / 19,656 = 50.125 Hz, the label rounded to "50 Hz").
        std::string status;
    };
    const Case cases[] = {
        // 39 columns for a line (one is left so that none wraps). The whole
        // line takes 82; the name is shortened first (to 8 at the least),
        // then the rate, filter, speed and name are left out; never the clock.
        {40, 24, true, "Playing  song 1/1  voices 111  0:0"},
        {80, 24, false, "Playing  Zarvel Me~  song 1/1  50 Hz  speed 100%  filter 100%  voices 111  0:0"},
        {200, 24, false, "Playing  Zarvel Melody  song 1/1  50 Hz  speed 100%  filter 100%  voices 111  0:0"},
        // Six rows: the list and status lines and the four lines of the whole
        // help at 39 columns; the monitor's lines give way.
        {40, 6, true, "Playing  song 1/1  voices 111  0:0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.columns) + "x" + std::to_string(c.rows));
        TmuxScreen tmux("'" + program + "' play '" + tune("melody.sid") + "' --monitor", c.columns, c.rows);
        std::string shown = tmux.wait_for(c.status + "1");
        ASSERT_NE(shown.find(c.status + "1"), std::string::npos) << "the clock runs\n" << shown;
        if (c.press_question) {
            tmux.tmux({"send-keys", "-l", "?"});
            shown = tmux.wait_for("[/] filter");
        }
        for (const std::string& key : keys) EXPECT_NE(shown.find(key), std::string::npos) << key << "\n" << shown;
        EXPECT_EQ(shown.rfind("file 1/1  song 1/1  0:0", 0), 0u) << "the block's top at the screen's top\n" << shown;
        EXPECT_EQ(shown.find("Playing"), shown.rfind("Playing")) << "nothing scrolled or wrapped\n" << shown;
    }
}

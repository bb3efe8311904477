// play end to end through a real MIDI service: a private JACK server with the
// dummy driver (no sound card), and jack_midi_receiver's virtual input port
// standing for the synthesizer. What arrives must be what dump says the stream
// holds, a play period apart, and every way out must end with the mute frames.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

const std::string program = ZARVEL_CLI_PROGRAM;
const std::string receiver_program = ZARVEL_JACK_RECEIVER;
std::string tune(const char* name) { return std::string(ZARVEL_TUNES_DIR) + "/" + name; }

const Bytes mute = {0xF0, 0x2D, 0x4E, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7};

// Polls until condition() holds, for at most within; whether it came to hold.
template <typename Condition>
bool holds_within(Condition condition, std::chrono::milliseconds within) {
    auto give_up = std::chrono::steady_clock::now() + within;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= give_up) return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

// The period of messages meant to come one a period: the least-squares slope
// of their arrival times over their index. Every arrival weighs in, so one
// late message at either end does not move it the way it moves last - first.
double fitted_period_us(const std::vector<int64_t>& times) {
    double n = static_cast<double>(times.size()), sum_i = 0, sum_t = 0, sum_ii = 0, sum_it = 0;
    for (size_t i = 0; i < times.size(); ++i) {
        double t = static_cast<double>(times[i] - times[0]);
        sum_i += static_cast<double>(i);
        sum_t += t;
        sum_ii += static_cast<double>(i) * static_cast<double>(i);
        sum_it += static_cast<double>(i) * t;
    }
    return (n * sum_it - sum_i * sum_t) / (n * sum_ii - sum_i * sum_i);
}

struct Received {
    int64_t time_us;
    Bytes bytes;
};

Bytes hex_bytes(std::istringstream& in) {
    Bytes out;
    std::string hex;
    while (in >> hex) out.push_back(static_cast<uint8_t>(std::stoul(hex, nullptr, 16)));
    return out;
}

// The messages of the first count buffers of dump, in order.
std::vector<Bytes> dumped_messages(std::vector<std::string> args, int count) {
    args.insert(args.begin(), {program, "dump"});
    args.insert(args.end(), {"--buffers", std::to_string(count)});
    ChildResult dump = run_child(args);
    EXPECT_EQ(dump.exit_code, 0) << dump.err;
    std::vector<Bytes> messages;
    std::istringstream lines(dump.out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        uint32_t delta;
        in >> delta;
        Bytes buffer = hex_bytes(in);
        size_t start = 0;
        for (size_t i = 0; i < buffer.size(); ++i) {
            if (buffer[i] == 0xF0) start = i;
            if (buffer[i] == 0xF7) messages.emplace_back(buffer.begin() + start, buffer.begin() + i + 1);
        }
    }
    return messages;
}

class PlayThroughJack : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.started());
        receiver = std::make_unique<PipedChild>(std::vector<std::string>{receiver_program, "zarvel-synth", "sid-in"});
        std::string line;
        ASSERT_TRUE(receiver->read_line(line, 15s) && line == "ready")
            << "jackd did not come up (scripts/setup.sh installs jackd2)";
    }

    // Everything the port got, once it has been quiet for a moment.
    std::vector<Received> received() {
        std::vector<Received> messages;
        std::string line;
        while (receiver->read_line(line, 500ms)) {
            std::istringstream in(line);
            Received message;
            in >> message.time_us;
            message.bytes = hex_bytes(in);
            messages.push_back(message);
        }
        return messages;
    }

    JackServer server;
    std::unique_ptr<PipedChild> receiver;
};

TEST_F(PlayThroughJack, PortsListsTheJackPortAndPlayFindsItByName) {
    ChildResult ports = run_child({program, "ports"});
    EXPECT_EQ(ports.exit_code, 0) << ports.err;
    EXPECT_NE(ports.out.find("  zarvel-synth:sid-in  (default)\n"), std::string::npos) << ports.out;

    ChildResult unknown = run_child({program, "play", tune("melody.sid"), "--port", "fluidsynth"});
    EXPECT_EQ(unknown.exit_code, 1);
    EXPECT_EQ(unknown.err,
              "zarvel-cli: --port fluidsynth: no MIDI output port is named \"fluidsynth\"; the ports are:\n"
              "  0  zarvel-synth:sid-in\n");
    ChildResult index = run_child({program, "play", tune("melody.sid"), "--port", "40"});
    EXPECT_EQ(index.exit_code, 1);
    EXPECT_EQ(index.err.rfind("zarvel-cli: --port 40: no MIDI output port has the index 40", 0), 0u) << index.err;
}

TEST_F(PlayThroughJack, TheBytesAreTheDumpsAPeriodApartThenTheMuteFrames) {
    // A muted voice's frequency goes out as 0 in every frame, the mute frames included.
    const Bytes mute_without_voice_3 = {0xF0, 0x2D, 0x4E, 0x00, 0x60, 0x00, 0x01, 0x00,
                                        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7};
    struct Case {
        std::vector<std::string> tune_and_options;
        double period_us;  // one play period in real time at the speed given
        Bytes mute;
    };
    const Case cases[] = {
        // Periods in PAL cycles of 985,248 Hz: a frame is 19,656 cycles; the
        // start latch $4025 gives one call every 16,422.
        {{tune("demo.sid")}, 19656e6 / 985248, mute},                         // 19,950 us
        {{tune("multisong.sid"), "--song", "1"}, 16422e6 / 985248, mute},  // 16,668 us: 16, 17, 17 ms
        {{tune("demo.sid"), "--speed", "200", "--filter", "60", "--voices", "110"}, 9828e6 / 985248,
         mute_without_voice_3},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const std::string& arg : c.tune_and_options) shown += arg + " ";
        SCOPED_TRACE(shown);
        std::vector<std::string> args = {program, "play"};
        args.insert(args.end(), c.tune_and_options.begin(), c.tune_and_options.end());
        args.insert(args.end(), {"--port", "zarvel-synth:sid-in", "--seconds", "2.5"});
        ChildResult play = run_child(args);
        EXPECT_EQ(play.exit_code, 0) << play.err;
        EXPECT_EQ(play.err, "");
        EXPECT_EQ(play.out.rfind("Playing to MIDI port ", 0), 0u) << play.out;
        EXPECT_NE(play.out.find(": zarvel-synth:sid-in\n"), std::string::npos) << play.out;
        std::vector<Received> got = received();
        ASSERT_GE(got.size(), 100u);

        // Everything before the two mute frames is the dump's stream, in order.
        std::vector<Bytes> expected = dumped_messages(c.tune_and_options, 400);
        size_t played = got.size() - 2;
        ASSERT_LE(played, expected.size());
        for (size_t i = 0; i < played; ++i) ASSERT_EQ(got[i].bytes, expected[i]) << "message " << i;
        EXPECT_EQ(got[played].bytes, c.mute);
        EXPECT_EQ(got[played + 1].bytes, c.mute);

        // These tunes write every call, so from the init frame (message 2)
        // on there is one frame a period. Within 1 %: at 60 Hz, periods
        // rounded to whole JACK cycles (16.0, 16.0, 17.3 ms) come out 1.4 %
        // short, and a 16 ms period 4 % short.
        std::vector<int64_t> times;
        for (size_t i = 2; i < played; ++i) times.push_back(got[i].time_us);
        EXPECT_NEAR(fitted_period_us(times), c.period_us, c.period_us * 0.01);
    }
}

TEST_F(PlayThroughJack, PauseResumeAndQuitFromTheKeys) {
    PtyChild child({program, "play", tune("multisong.sid"), "--port", "sid-in"});
    ASSERT_TRUE(child.wait_for("Playing  Zarvel Multisong  song 2/4", 5s)) << child.output();
    std::this_thread::sleep_for(300ms);
    size_t mark = child.mark();
    child.send(" ");
    ASSERT_TRUE(child.wait_for("Paused", 5s, mark));
    std::this_thread::sleep_for(300ms);
    mark = child.mark();
    child.send(" ");
    ASSERT_TRUE(child.wait_for("Playing", 5s, mark));
    std::this_thread::sleep_for(300ms);
    child.send("q");
    EXPECT_EQ(child.wait_exit(5s), 0);

    std::vector<Received> got = received();
    ASSERT_GE(got.size(), 20u);
    // Song 2 sets volume 15 with band-pass ($2F): the restore frame carries
    // it, once with the resume and again two buffers later.
    const Bytes restore = {0xF0, 0x2D, 0x4E, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2F, 0xF7};
    size_t paused = 0;
    while (paused + 1 < got.size() && !(got[paused].bytes == mute && got[paused + 1].bytes == mute)) ++paused;
    ASSERT_LT(paused + 3, got.size()) << "the pause's mute frames";
    EXPECT_EQ(got[paused + 2].bytes, restore);
    EXPECT_EQ(got[paused + 3].bytes, restore);
    EXPECT_EQ(got[got.size() - 2].bytes, mute) << "q mutes before the program ends";
    EXPECT_EQ(got[got.size() - 1].bytes, mute);
    EXPECT_GT(got.size() - 2, paused + 4) << "frames played between the resume and q";
}

// A JACK server that dies under play ends it within a second, with exit code
// 1 and the port's name; --verbose has said first what the player thread got.
TEST_F(PlayThroughJack, ServerKilledUnderPlayEndsItWithinASecond) {
    std::chrono::steady_clock::time_point killed;
    std::thread killer([&] {
        std::this_thread::sleep_for(1500ms);
        killed = std::chrono::steady_clock::now();
        server.kill_now();
    });
    ChildResult play = run_child({program, "play", tune("demo.sid"), "--port", "sid-in", "--seconds", "20", "--verbose"});
    auto ended = std::chrono::steady_clock::now();
    killer.join();
    EXPECT_EQ(play.exit_code, 1);
    EXPECT_LT(ended - killed, 1s);
    std::vector<std::string> lines;
    std::istringstream err(play.err);
    for (std::string line; std::getline(err, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 2u) << play.err;
    EXPECT_EQ(lines[0].rfind("zarvel-cli: player thread: ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1], "zarvel-cli: the MIDI port went away: zarvel-synth:sid-in");
}

// A stopped JACK client stalls the whole server, so Ctrl-Z closes the port
// after the mute frames, and fg opens it again for the restore frame.
TEST_F(PlayThroughJack, CtrlZLetsGoOfTheJackPortUntilFg) {
    auto port_count = [] {
        std::string out = run_child({"jack_lsp"}).out;
        return std::count(out.begin(), out.end(), '\n');
    };
    PtyChild shell({"env", "HISTFILE=/dev/null", "PS1=$ ", "bash", "--norc", "--noprofile", "-i"});
    shell.send("'" + program + "' play '" + tune("multisong.sid") + "' --port sid-in\n");
    ASSERT_TRUE(shell.wait_for("Playing  Zarvel Multisong  song 2/4", 5s)) << shell.output();
    std::this_thread::sleep_for(300ms);
    auto ports_while_playing = port_count();
    size_t mark = shell.mark();
    shell.send("\x1a");
    ASSERT_TRUE(shell.wait_for("Stopped", 5s, mark)) << shell.output().substr(mark);
    EXPECT_TRUE(holds_within([&] { return port_count() < ports_while_playing; }, 5s))
        << "the player's port is gone while it is stopped";
    std::this_thread::sleep_for(300ms);
    mark = shell.mark();
    shell.send("fg\n");
    ASSERT_TRUE(shell.wait_for("Playing", 5s, mark));
    EXPECT_TRUE(holds_within([&] { return port_count() == ports_while_playing; }, 5s)) << "the port is back";
    std::this_thread::sleep_for(300ms);  // frames after the restore frame
    mark = shell.mark();
    shell.send("q");
    ASSERT_TRUE(shell.wait_for("$ ", 5s, mark));
    shell.send("exit\n");
    shell.wait_exit(5s);

    std::vector<Received> got = received();
    const Bytes restore = {0xF0, 0x2D, 0x4E, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2F, 0xF7};
    size_t stopped = 0;
    while (stopped + 1 < got.size() && !(got[stopped].bytes == mute && got[stopped + 1].bytes == mute)) ++stopped;
    ASSERT_LT(stopped + 2, got.size()) << "the mute frames before the stop";
    EXPECT_EQ(got[stopped + 2].bytes, restore) << "the first message after fg";
    EXPECT_GE(got[stopped + 2].time_us - got[stopped + 1].time_us, 300000) << "nothing while stopped";
    EXPECT_EQ(got[got.size() - 1].bytes, mute) << "q mutes before the program ends";
}

TEST_F(PlayThroughJack, SigintMutesBeforeTheProgramEnds) {
    PipedChild play({program, "play", tune("demo.sid"), "--port", "sid-in"});
    std::this_thread::sleep_for(1s);
    kill(play.pid(), SIGINT);
    EXPECT_EQ(play.finish(5s), 128 + SIGINT);
    std::vector<Received> got = received();
    ASSERT_GE(got.size(), 10u);
    EXPECT_EQ(got[got.size() - 2].bytes, mute);
    EXPECT_EQ(got[got.size() - 1].bytes, mute);
}

}  // namespace

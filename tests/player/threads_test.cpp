// The controller on real threads and the real clock: a worker thread, the
// engine's callback thread, and this thread as the UI. Timings are loose; the
// point is that every flow completes, nothing hangs, the bytes stay whole,
// and ThreadSanitizer finds nothing (the tsan preset runs this label).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "controller_fixture.h"
#include "headless/headless_player.h"
#include "platform/stream_engine.h"
#include "player/commands.h"
#include "player/playback_controller.h"
#include "player/psid_loader.h"

namespace {

using namespace std::chrono_literals;

class ControllerThreads : public ::testing::Test {
protected:
    std::shared_ptr<stream_engine::CaptureSink> sink = std::make_shared<stream_engine::CaptureSink>();
    std::atomic<bool> running{true};
    std::thread worker;

    void SetUp() override {
        reset_process_state();
        stream_engine::set_clock(stream_engine::ClockKind::real_time);
        stream_engine::set_devices({{"Capture", sink}});
        worker = std::thread([this] { playback_worker_while(nullptr, running); });
    }
    void TearDown() override {
        running = false;
        worker.join();
        reset_process_state();
    }

    static int load(const PsidBuilder& tune) {
        std::string path = tune.write();
        std::snprintf(player_state.tune_path, sizeof player_state.tune_path, "%s", path.c_str());
        return load_tune_path();
    }

    std::vector<Bytes> played() const {
        std::vector<Bytes> out;
        for (auto& event : sink->events()) out.push_back(event.bytes);
        return out;
    }

    template <class Condition>
    static bool eventually(Condition condition) {
        for (int i = 0; i < 500; ++i) {
            if (condition()) return true;
            std::this_thread::sleep_for(10ms);
        }
        return condition();
    }
};

size_t count_of_starts(const std::vector<Bytes>& buffers, const std::string& name) {
    return static_cast<size_t>(std::count(buffers.begin(), buffers.end(), reset_frame() + text_message(name)));
}

// Every buffer is whole SysEx messages: F0 ... F7 with 7-bit bytes between.
void expect_whole_messages(const std::vector<Bytes>& buffers) {
    for (const Bytes& buffer : buffers) {
        bool inside = false;
        for (uint8_t b : buffer) {
            if (b == 0xF0) {
                EXPECT_FALSE(inside);
                inside = true;
            } else if (b == 0xF7) {
                EXPECT_TRUE(inside);
                inside = false;
            } else {
                EXPECT_TRUE(inside);
                EXPECT_LT(b, 0x80);
            }
        }
        EXPECT_FALSE(inside);
    }
}

TEST_F(ControllerThreads, EveryFlowCompletesAcrossTheThreads) {
    PsidBuilder tune = counting_tune();
    tune.songs = 3;
    ASSERT_EQ(load(tune), LOAD_OK);

    press_play();
    ASSERT_TRUE(eventually([&] { return sink->event_count() >= 10; }));
    press_play();  // pause
    ASSERT_TRUE(eventually([&] { return player_state.silenced == 1; }));
    press_play();  // resume
    ASSERT_TRUE(eventually([&] { return player_state.playing == 1; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(choose_song(2));  // a start request: the worker mutes and starts song 2
    ASSERT_TRUE(eventually([&] { return count_of_starts(played(), "Counter") == 2 && player_state.playing == 1; }));
    tune.name = "Reloaded";
    ASSERT_EQ(load(tune), LOAD_OK);  // while playing: stop, wait, load, restart
    ASSERT_TRUE(eventually([&] { return player_state.playing == 1; }));
    std::this_thread::sleep_for(100ms);
    press_stop();
    ASSERT_TRUE(eventually([&] { return player_state.silenced == 1 && player_state.playing == 0; }));

    auto buffers = played();
    expect_whole_messages(buffers);
    EXPECT_EQ(count_of_starts(buffers, "Counter"), 2u);
    EXPECT_EQ(count_of_starts(buffers, "Reloaded"), 1u);
}

// Bursts of commands faster than the worker's passes, each burst ending on
// Play or Stop: once the worker has taken them, the tune plays exactly when
// the button says "Pause".
TEST_F(ControllerThreads, QuickCommandsNeverHang) {
    ASSERT_EQ(load(counting_tune()), LOAD_OK);
    std::string button = "Play";
    auto press = [&](const char* (*command)()) {
        if (const char* text = command()) button = text;
    };
    for (int round = 0; round < 20; ++round) {
        press(press_play);
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 7));
        press(press_play);
        if (round % 3 == 0) choose_song(1 + round % 2);
        press(press_stop);
        if (round % 2) press(press_play);
        int32_t should_play = button == "Pause" ? 1 : 0;
        ASSERT_TRUE(eventually([&] {
            return player_state.stop_request == 0 && player_state.start_request == 0 &&
                   player_state.resume_request == 0 && player_state.starting == 0 &&
                   player_state.playing == should_play;
        })) << "round " << round << ": the button says " << button << ", playing is " << player_state.playing;
    }
    expect_whole_messages(played());
}

// Play pressed during a stop's fade: the worker's start waits for the stop's
// mute frames, three periods at 15 Hz and 20 %. Whatever comes meanwhile
// acts as pressed: a load starts the new tune, Stop stops, Play pauses.
TEST_F(ControllerThreads, CommandsWhileAStartWaitsForTheMuteFramesActAsPressed) {
    enum class Then { load, stop, play };
    for (Then then : {Then::load, Then::stop, Then::play}) {
        PsidBuilder tune = slow_counting_tune();
        ASSERT_EQ(load(tune), LOAD_OK);
        player_state.speed_percent = 20;
        press_play();
        ASSERT_TRUE(eventually([] { return player_state.playing == 1; }));
        press_stop();
        press_play();
        ASSERT_TRUE(eventually([] { return player_state.starting == 1 && player_state.start_request == 0; }));
        switch (then) {
            case Then::load:
                tune.name = "Second";
                ASSERT_EQ(load(tune), LOAD_OK);
                EXPECT_TRUE(eventually([&] {
                    return count_of_starts(played(), "Second") == 1 && player_state.playing == 1;
                }));
                break;
            case Then::stop:
                EXPECT_STREQ(press_stop(), "Play");
                break;
            case Then::play:
                EXPECT_STREQ(press_play(), "Play");
                break;
        }
        if (then == Then::load) {
            press_stop();
        } else {
            EXPECT_TRUE(eventually([] {
                return player_state.starting == 0 && player_state.playing == 0 && player_state.silenced == 1;
            }));
            EXPECT_EQ(player_state.paused, then == Then::play ? 1 : 0);
        }
        ASSERT_TRUE(eventually([] { return player_state.playing == 0 && player_state.silenced == 1; }));
    }
}

}  // namespace

// Transport faults with every thread of the program running: the engine's
// callback thread notes a failure under the ring lock, the worker thread
// tells it outside the lock, and the UI thread keeps pressing buttons. Each
// failure is told once, no thread waits for ever on a callback that will not
// come, and Play brings the tune back. ThreadSanitizer runs these (label
// "threads").
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "controller_fixture.h"
#include "headless/headless_player.h"
#include "platform/stream_engine.h"
#include "player/commands.h"
#include "player/panel.h"
#include "player/playback_controller.h"
#include "player/psid_loader.h"

namespace {

using namespace std::chrono_literals;
using stream_engine::Fault;

std::mutex warnings_mutex;
std::vector<std::string> warnings;

std::vector<std::string> warnings_so_far() {
    std::lock_guard<std::mutex> lock(warnings_mutex);
    return warnings;
}

class FaultsOnThreads : public ::testing::Test {
protected:
    std::shared_ptr<stream_engine::CaptureSink> sink = std::make_shared<stream_engine::CaptureSink>();
    std::atomic<bool> running{true};
    std::thread worker;

    void SetUp() override {
        reset_process_state();
        {
            std::lock_guard<std::mutex> lock(warnings_mutex);
            warnings.clear();
        }
        install_panel({[](void*, const char* text, const char*) {
                           std::lock_guard<std::mutex> lock(warnings_mutex);
                           warnings.emplace_back(text);
                       },
                       nullptr, nullptr});
        stream_engine::set_clock(stream_engine::ClockKind::real_time);
        stream_engine::set_devices({{"Capture", sink}});
        worker = std::thread([this] { playback_worker_while(nullptr, running); });

        PsidBuilder tune = counting_tune();
        tune.songs = 3;
        std::snprintf(player_state.tune_path, sizeof player_state.tune_path, "%s", tune.write().c_str());
        ASSERT_EQ(load_tune_path(), LOAD_OK);
    }
    void TearDown() override {
        running = false;
        worker.join();
        reset_process_state();
        install_panel({});
    }

    template <class Condition>
    static bool eventually(Condition condition) {
        for (int i = 0; i < 500; ++i) {
            if (condition()) return true;
            std::this_thread::sleep_for(10ms);
        }
        return condition();
    }

    bool plays_on() {
        size_t before = sink->event_count();
        return eventually([&] { return player_state.playing == 1 && sink->event_count() >= before + 5; });
    }
};

TEST_F(FaultsOnThreads, FailureOnTheCallbackThreadIsToldByTheWorkerOnce) {
    press_play();
    ASSERT_TRUE(plays_on());
    stream_engine::inject_fault(Fault::out);
    ASSERT_TRUE(eventually([] { return warnings_so_far().size() == 1 && stream_engine::open_stream_count() == 0; }));
    EXPECT_EQ(warnings_so_far(), std::vector<std::string>{"Could not Stream"});
    EXPECT_EQ(player_state.playing, 0);

    press_play();
    ASSERT_TRUE(plays_on());
    EXPECT_EQ(warnings_so_far().size(), 1u);
    EXPECT_EQ(stream_engine::open_stream_count(), 1);
}

TEST_F(FaultsOnThreads, FailureDuringASongChangeIsToldOnce) {
    press_play();
    ASSERT_TRUE(plays_on());
    stream_engine::inject_fault(Fault::prepare);
    choose_song(3);  // the worker mutes and starts the new song
    ASSERT_TRUE(eventually([] { return warnings_so_far().size() == 1; }));
    EXPECT_EQ(warnings_so_far(), std::vector<std::string>{"Could not Prepare header"});
    if (!playback_on()) press_play();
    ASSERT_TRUE(plays_on());
    EXPECT_EQ(warnings_so_far().size(), 1u);
    EXPECT_EQ(player_state.current_song, 3);
}

TEST_F(FaultsOnThreads, FailuresAmongQuickCommandsNeverHang) {
    const Fault faults[] = {Fault::out, Fault::prepare, Fault::open, Fault::property};
    for (int round = 0; round < 12; ++round) {
        press_play();
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + round % 4 * 10));
        stream_engine::inject_fault(faults[round % 4]);
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 3 * 15));
        if (round % 3 == 0) choose_song(1 + round % 3);
        press_play();
        if (round % 2) press_stop();
    }
    // Whatever fired, the requests are all taken and a last Play recovers.
    ASSERT_TRUE(eventually([] {
        return player_state.stop_request == 0 && player_state.start_request == 0 &&
               player_state.resume_request == 0;
    }));
    stream_engine::clear_faults();
    size_t told = warnings_so_far().size();
    if (!playback_on()) press_play();
    ASSERT_TRUE(plays_on());
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(warnings_so_far().size(), told);
    EXPECT_EQ(stream_engine::open_stream_count(), 1);
}

}  // namespace

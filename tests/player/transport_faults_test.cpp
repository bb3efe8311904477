// Transport faults injected through the stream engine at every point of a
// session: the first start, mid-play, while paused, during a resume (on the
// open stream and on one lost while paused), during a song change, during a
// load while playing, and at the Play that follows an earlier failure. Every
// failure shows its own message exactly once, nothing hangs, no setting is
// lost, and the next Play brings the tune back on a new stream.
#include "controller_fixture.h"

#include <string>

#include "platform/stream_engine.h"
#include "player/commands.h"
#include "player/player_state.h"
#include "player/psid_loader.h"

namespace {

using stream_engine::Fault;

enum class Point {
    first_start,
    mid_play,
    while_paused,
    resume,
    resume_after_lost_stream,
    song_change,
    load_while_playing,
    start_after_failure,
};

struct Case {
    Fault fault;
    Point point;
};

const char* message_of(Fault fault) {
    switch (fault) {
        case Fault::open: return "Could not allocate Midi Out port";
        case Fault::property: return "Could not set Properties";
        case Fault::prepare: return "Could not Prepare header";
        case Fault::out: return "Could not Stream";
    }
    return "";
}

std::string name_of(const ::testing::TestParamInfo<Case>& info) {
    static const char* const faults[] = {"Open", "Property", "Prepare", "Out"};
    static const char* const points[] = {"FirstStart",  "MidPlay",    "WhilePaused",      "Resume",
                                         "ResumeAfterLostStream", "SongChange", "LoadWhilePlaying",
                                         "StartAfterFailure"};
    return std::string(faults[static_cast<int>(info.param.fault)]) + "At" + points[static_cast<int>(info.param.point)];
}

// A register frame whose data position 0 is present: the counting tune's play
// calls write register 0.
bool carries_play_call(const Bytes& buffer) {
    return buffer.size() >= 12 && buffer[0] == 0xF0 && buffer[2] == 0x4E && (buffer[3] & 0x01);
}

// A start's first buffer: the reset frame (its mask does not depend on the
// settings) and the tune's name.
bool is_start(const Bytes& buffer, const std::string& name) {
    static const Bytes reset_head = {0xF0, 0x2D, 0x4E, 0x43, 0x61, 0x70, 0x01};
    Bytes name_message = text_message(name);
    return buffer.size() > reset_head.size() + name_message.size() &&
           std::equal(reset_head.begin(), reset_head.end(), buffer.begin()) &&
           std::equal(name_message.rbegin(), name_message.rend(), buffer.rbegin());
}

// A resume's restore frame: volume 0x1F, plus the zero frequencies of the
// switched-off third voice (positions 12 and 13).
bool is_restore(const Bytes& buffer) {
    static const Bytes restore = {0xF0, 0x2D, 0x4E, 0x00, 0x60, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00,
                                  0x00, 0x00, 0x1F, 0xF7};
    return buffer == restore;
}

class TransportFaults : public ::testing::TestWithParam<Case> {
protected:
    HeadlessPlayer player;
    std::vector<std::string> expected_warnings;
    std::string expected_name = "Counter";
    size_t action_mark = 0;  // buffers played before a song change or load began
    int32_t expected_song = 2;

    void SetUp() override {
        PsidBuilder tune = counting_tune();
        tune.songs = 3;
        ASSERT_EQ(player.load(tune.write()), LOAD_OK);
        // Settings that must survive every failure.
        player.choose_song(2);
        player.set_speed(150);
        player.set_filter(50);
        player.toggle_voice(2);
    }

    void inject(Fault fault) {
        stream_engine::inject_fault(fault);
        expected_warnings.push_back(message_of(fault));
    }

    // Time passes: played events run their callbacks, the worker takes
    // requests and reports what the callback noted.
    void settle() {
        player.position_callbacks(3);
        player.worker_passes(3);
    }

    void play_a_while() {
        player.play();
        player.position_callbacks(5);
        ASSERT_EQ(player_state.playing, 1);
    }

    void lose_the_stream_while_paused() {
        play_a_while();
        player.play();  // pause
        player.position_callbacks(3);
        inject(Fault::out);
        settle();
        ASSERT_EQ(stream_engine::open_stream_count(), 0);
    }

    void drive(Case c) {
        switch (c.point) {
            case Point::first_start:
                inject(c.fault);
                player.play();
                break;
            case Point::mid_play:
                play_a_while();
                inject(c.fault);
                break;
            case Point::while_paused:
                play_a_while();
                player.play();  // pause; callbacks keep coming with empty buffers
                player.position_callbacks(3);
                inject(c.fault);
                break;
            case Point::resume:
                play_a_while();
                player.play();  // pause
                player.position_callbacks(3);
                press_play();
                inject(c.fault);  // the restore frame's queueing
                player.worker_passes(1);
                break;
            case Point::resume_after_lost_stream:
                lose_the_stream_while_paused();
                press_play();
                inject(c.fault);  // the reopening, or the restore frame on the new stream
                player.worker_passes(1);
                break;
            case Point::song_change:
                play_a_while();
                action_mark = player.buffer_count();
                inject(c.fault);
                player.choose_song(3);
                expected_song = 3;
                break;
            case Point::load_while_playing: {
                play_a_while();
                action_mark = player.buffer_count();
                PsidBuilder second = counting_tune();
                second.name = "Second";
                second.songs = 4;
                second.start_song = 4;
                std::snprintf(player_state.tune_path, sizeof player_state.tune_path, "%s", second.write().c_str());
                ASSERT_EQ(load_tune_path(), LOAD_OK);
                inject(c.fault);  // while the start waits for the old tune's buffers
                player.worker_passes(1);
                expected_name = "Second";
                expected_song = 4;
                break;
            }
            case Point::start_after_failure:
                play_a_while();
                inject(Fault::out);
                settle();
                ASSERT_EQ(stream_engine::open_stream_count(), 0);
                inject(c.fault);
                player.play();
                break;
        }
        settle();
    }
};

TEST_P(TransportFaults, EachFailureIsToldOnceAndTheNextPlayRecovers) {
    Case c = GetParam();
    size_t before = player.buffer_count();
    drive(c);
    if (HasFatalFailure()) return;
    EXPECT_EQ(player.warnings(), expected_warnings);

    // A start that replaces a playing tune (a song change, a load) waits for
    // the old tune's buffers to play; a queueing that fails meanwhile is told,
    // and the start goes on on a new stream. Every other point leaves the
    // player stopped on a closed stream.
    bool start_goes_on = (c.point == Point::song_change || c.point == Point::load_while_playing) &&
                         (c.fault == Fault::prepare || c.fault == Fault::out);
    if (start_goes_on) {
        before = action_mark;
    } else {
        EXPECT_EQ(player_state.playing, 0);
        EXPECT_EQ(player.play_button_text(), "Play") << "stopped, as the button must say";
        EXPECT_EQ(stream_engine::open_stream_count(), 0);
        before = player.buffer_count();
        player.play();
    }
    player.position_callbacks(8);
    player.worker_passes(2);

    EXPECT_EQ(player.warnings(), expected_warnings) << "no message twice, none without a failure";
    EXPECT_EQ(player_state.playing, 1);
    EXPECT_EQ(player.play_button_text(), "Pause");
    EXPECT_EQ(stream_engine::open_stream_count(), 1);

    // The synthesizer hears the tune come back: a fresh start, or the
    // restore frame when the failure came while paused, then play calls.
    auto buffers = player.buffers();
    size_t first = before;
    if (start_goes_on) {  // the old tune's last buffers come first
        while (first < buffers.size() && !is_start(buffers[first].bytes, expected_name)) ++first;
    } else {
        while (first < buffers.size() && buffers[first].bytes.empty()) ++first;
    }
    ASSERT_LT(first, buffers.size());
    if (c.point == Point::while_paused) {
        EXPECT_TRUE(is_restore(buffers[first].bytes));
    } else {
        EXPECT_TRUE(is_start(buffers[first].bytes, expected_name));
    }
    EXPECT_TRUE(carries_play_call(buffers.back().bytes));
    // 100000 / (50 x 150) = 13.3 ms: 13, 13, 14 with the leftover carried.
    EXPECT_TRUE(buffers.back().delta_ticks == 13u || buffers.back().delta_ticks == 14u) << buffers.back().delta_ticks;

    EXPECT_EQ(player_state.current_song, expected_song);
    EXPECT_EQ(player_state.speed_percent, 150);
    EXPECT_EQ(player_state.filter_percent, 50);
    EXPECT_EQ(player_state.voice_enabled[2], 0);
}

std::vector<Case> all_cases() {
    std::vector<Case> cases;
    // Opening happens only where no stream is open: the first start, and
    // whatever follows a failure that closed it.
    for (Fault fault : {Fault::open, Fault::property}) {
        for (Point point : {Point::first_start, Point::resume_after_lost_stream, Point::start_after_failure}) {
            cases.push_back({fault, point});
        }
    }
    // Every queueing can fail.
    for (Fault fault : {Fault::prepare, Fault::out}) {
        for (Point point : {Point::first_start, Point::mid_play, Point::while_paused, Point::resume,
                            Point::resume_after_lost_stream, Point::song_change, Point::load_while_playing,
                            Point::start_after_failure}) {
            cases.push_back({fault, point});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EverywhereInASession, TransportFaults, ::testing::ValuesIn(all_cases()), name_of);

// The slot whose queueing failed held the last frame of the lost stream; the
// new stream's first buffer is the start alone, byte for byte.
TEST_F(Controller, AFailedSlotsBytesNeverLeadTheNextStream) {
    for (Fault fault : {Fault::prepare, Fault::out}) {
        ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
        player.play();
        player.position_callbacks(5);
        stream_engine::inject_fault(fault);
        player.position_callbacks(2);  // a frame's queueing fails
        player.worker_passes(2);
        ASSERT_EQ(stream_engine::open_stream_count(), 0);
        size_t before = player.buffer_count();
        player.play();
        player.position_callbacks(3);
        auto buffers = played();
        ASSERT_GT(buffers.size(), before);
        EXPECT_EQ(buffers[before], reset_frame() + text_message("Counter"));
        player.stop();
        player.position_callbacks(20);
    }
}

// A failure told in the middle of a start or resume sets the button to
// "Play"; when that start or resume goes on to play on a new stream, the
// button must say "Pause" again, or the user's next press pauses the tune.
TEST_F(Controller, SongChangeThatReopensAfterAFailureShowsPause) {
    PsidBuilder tune = counting_tune();
    tune.songs = 3;
    ASSERT_EQ(player.load(tune.write()), LOAD_OK);
    player.play();
    player.position_callbacks(5);
    stream_engine::inject_fault(Fault::out);
    player.choose_song(2);  // the mute frames' callback fails; the start reopens
    EXPECT_EQ(player.warnings(), std::vector<std::string>{"Could not Stream"});
    EXPECT_EQ(player_state.playing, 1);
    EXPECT_EQ(player.play_button_text(), "Pause");
}

TEST_F(Controller, ResumeThatReopensAfterAFailureShowsPause) {
    ASSERT_EQ(player.load(counting_tune().write()), LOAD_OK);
    player.play();
    player.position_callbacks(5);
    player.play();  // pause, taken within the play period: the mute frames are still to come
    press_play();   // resume, taken by the next pass while it waits for them
    stream_engine::inject_fault(Fault::out);
    player.worker_passes(1);
    EXPECT_EQ(player.warnings(), std::vector<std::string>{"Could not Stream"});
    EXPECT_EQ(player_state.playing, 1);
    EXPECT_EQ(player.play_button_text(), "Pause");
}

}  // namespace

// The stream ring against our stream engine on the virtual clock: what each
// queueing hands the platform, slot reuse and its retry, failures and the
// stream's lifetime.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "headless/headless_player.h"
#include "midi/register_frame.h"
#include "midi/stream_lock.h"
#include "midi/stream_transport.h"
#include "platform/stream_engine.h"
#include "player/panel.h"
#include "player/player_state.h"

namespace {

using Bytes = std::vector<uint8_t>;
using stream_engine::CaptureSink;
using stream_engine::Fault;

std::vector<std::string> warnings;

class StreamTransport : public ::testing::Test {
protected:
    std::shared_ptr<CaptureSink> device0 = std::make_shared<CaptureSink>();
    std::shared_ptr<CaptureSink> device1 = std::make_shared<CaptureSink>();

    void SetUp() override {
        reset_process_state();
        warnings.clear();
        install_panel({[](void*, const char* text, const char* caption) {
                           warnings.push_back(std::string(caption) + ": " + text);
                       },
                       nullptr, nullptr});
        stream_engine::set_clock(stream_engine::ClockKind::virtual_time);
        stream_engine::set_devices({{"Zero", device0}, {"One", device1}});
        // Position callbacks run the pacing step; with nothing playing and
        // the mute already done, it only queues the (empty) current slot.
        player_state.silenced = 1;
        // A play period of exactly 20 ms, 20,000 cycles of a 1 MHz clock,
        // which the timings below count in.
        player_state.play_period_cycles = 20'000;
        player_state.clock_hz = 1'000'000;
    }
    void TearDown() override {
        reset_process_state();
        install_panel({});
    }

    static void append(std::initializer_list<uint8_t> bytes) {
        for (uint8_t b : bytes) append_stream_byte(b);
    }
    static void queue() {
        StreamLock lock(nullptr);
        queue_stream_buffer();
    }
};

TEST_F(StreamTransport, QueuedLengthsRoundUpToWholeWords) {
    ASSERT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));
    for (int length : {0, 1, 12, 13, 15, 16, 40}) {
        int slot = ring_index;
        for (int i = 0; i < length; ++i) append_stream_byte(0x7F);
        queue();
        EXPECT_EQ(stream_ring[slot].dwEvent, 0xC0000000u | static_cast<DWORD>(length)) << length;
        EXPECT_EQ(stream_headers[slot].dwBufferLength, static_cast<DWORD>(12 + (length + 3) / 4 * 4)) << length;
        EXPECT_EQ(stream_headers[slot].dwBytesRecorded, stream_headers[slot].dwBufferLength);
        EXPECT_EQ(stream_ring[slot].dwStreamID, 0u);
    }
    EXPECT_EQ(stream_headers[0].dwBufferLength, 12u);
    EXPECT_EQ(stream_headers[1].dwBufferLength, 16u);
    EXPECT_EQ(stream_headers[6].dwBufferLength, 52u);
}

TEST_F(StreamTransport, DeltaTimeIsOnePlayPeriodWithItsLeftoverCarriedToTheNext) {
    ASSERT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));
    auto next_delta = [] {
        int slot = ring_index;
        queue();
        return stream_ring[slot].dwDeltaTime;
    };
    // The first period after a start is the whole milliseconds of one
    // period. Worked out by hand from the cycles (they were whole Hz once): a
    // PAL frame, 19,656 cycles of 985,248 Hz, is 19.950 ms; an NTSC frame,
    // 17,095 of 1,022,727 Hz, 16.715 ms; the shortest timer period, 986
    // cycles, is 0.50 ms at 200 %; the longest, 65,536, 332.6 ms at 20 %.
    struct Case { int cycles, clock_hz, speed; DWORD ticks; };
    for (Case c : {Case{19'656, 985'248, 100, 19}, Case{17'095, 1'022'727, 100, 16}, Case{19'656, 985'248, 200, 9},
                   Case{19'656, 985'248, 20, 99}, Case{986, 985'248, 200, 0}, Case{65'536, 985'248, 20, 332}}) {
        player_state.play_period_cycles = c.cycles;
        player_state.clock_hz = c.clock_hz;
        player_state.speed_percent = c.speed;
        restart_play_period();
        EXPECT_EQ(next_delta(), c.ticks) << c.cycles << " cycles at " << c.speed << " %";
    }
    // The leftovers follow: an NTSC frame's 16.715 ms comes as 16, 17, 17.
    player_state.play_period_cycles = 17'095;
    player_state.clock_hz = 1'022'727;
    player_state.speed_percent = 100;
    restart_play_period();
    std::vector<DWORD> deltas;
    for (int i = 0; i < 6; ++i) deltas.push_back(next_delta());
    EXPECT_EQ(deltas, (std::vector<DWORD>{16, 17, 17, 16, 17, 17}));
}

TEST_F(StreamTransport, EventsPlayAfterTheirDeltaTimeWithTheirBytes) {
    ASSERT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));
    append({0xF0, 0x2D, 0x4F, 'h', 'i', 0xF7});
    queue();
    queue();
    midiStreamRestart(stream_handle);
    stream_engine::advance_ms(19);
    EXPECT_EQ(device0->event_count(), 0u);
    stream_engine::advance_ms(1);
    auto events = device0->events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].bytes, (Bytes{0xF0, 0x2D, 0x4F, 'h', 'i', 0xF7}));
    EXPECT_EQ(events[0].delta_ticks, 20u);
    // The position callback of the first event queued a third, empty one;
    // every 20 ms one more follows, and they keep coming.
    stream_engine::advance_ms(200);
    events = device0->events();
    ASSERT_EQ(events.size(), 11u);
    EXPECT_TRUE(events[1].bytes.empty());
    EXPECT_EQ(events[10].time_us - events[0].time_us, 200'000);
}

TEST_F(StreamTransport, SeventeenthQueueingReusesSlotZero) {
    ASSERT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));
    for (int i = 0; i < 16; ++i) queue();
    EXPECT_EQ(ring_index, 0);
    // The stream has not started, so it still holds slot 0: the queueing
    // drops the slot's bytes and waits for a MOM_DONE.
    append({0xF0, 0x2D, 0x4C, 0xF7});
    queue();
    EXPECT_EQ(stream_retry_pending(), 1);
    EXPECT_EQ(write_position, 0);
    EXPECT_EQ(ring_index, 0);

    // Appended while waiting: sent by the retry. Stopping the stream returns
    // every held buffer with MOM_DONE, and the first of them frees slot 0.
    append({0xF0, 0x2D, 0x4D, 0xF7});
    midiStreamStop(stream_handle);
    EXPECT_EQ(stream_retry_pending(), 0);
    EXPECT_EQ(ring_index, 1);
    EXPECT_EQ(stream_ring[0].dwEvent, 0xC0000004u);

    midiStreamRestart(stream_handle);
    stream_engine::advance_ms(20);
    auto events = device0->events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].bytes, (Bytes{0xF0, 0x2D, 0x4D, 0xF7}));
}

TEST_F(StreamTransport, MomDoneWithoutAPendingRetryQueuesNothing) {
    ASSERT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));
    queue();
    append({0xF0, 0x2D, 0x4C, 0xF7});
    stream_callback(nullptr, MOM_DONE, 0, reinterpret_cast<DWORD_PTR>(&stream_headers[0]), 0);
    EXPECT_EQ(ring_index, 1);
    EXPECT_EQ(write_position, 4);
}

TEST_F(StreamTransport, AppendsPastTheMessageAreaNeverSendHalfAMessage) {
    ASSERT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));
    char text[32];
    std::fill(std::begin(text), std::end(text), 'x');
    for (int i = 0; i < 20; ++i) append_text_message(text);  // 720 bytes into a 512-byte area
    EXPECT_EQ(write_position, stream_message_capacity);
    int slot = ring_index;
    queue();
    EXPECT_EQ(stream_ring[slot].dwEvent & 0xFFFFFF, 14u * 36u);
    midiStreamRestart(stream_handle);
    stream_engine::advance_ms(20);
    auto events = device0->events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].bytes.back(), 0xF7);
}

TEST_F(StreamTransport, OpenFailureTellsTheUserAndLeavesNoStream) {
    stream_engine::inject_fault(Fault::open);
    EXPECT_FALSE(open_midi_stream(nullptr, player_state.midi_out_device));
    EXPECT_EQ(warnings, (std::vector<std::string>{"Cancel: Could not allocate Midi Out port"}));
    EXPECT_FALSE(stream_is_open());
    EXPECT_EQ(open_stream_device(), -1);
    EXPECT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));  // the next start tries again
}

TEST_F(StreamTransport, TimeDivisionFailureClosesTheStream) {
    stream_engine::inject_fault(Fault::property);
    EXPECT_FALSE(open_midi_stream(nullptr, player_state.midi_out_device));
    EXPECT_EQ(warnings, (std::vector<std::string>{"Cancel: Could not set Properties"}));
    EXPECT_FALSE(stream_is_open());
    EXPECT_EQ(stream_engine::open_stream_count(), 0);
}

TEST_F(StreamTransport, QueueingFailuresAreReportedOnceAndTheStreamReopens) {
    struct Case { Fault fault; const char* text; };
    for (Case c : {Case{Fault::prepare, "Cancel: Could not Prepare header"}, Case{Fault::out, "Cancel: Could not Stream"}}) {
        warnings.clear();
        player_state.midi_out_device = 1;
        ASSERT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));
        player_state.playing = 1;
        player_state.silenced = 0;
        stream_engine::inject_fault(c.fault);
        queue();
        EXPECT_EQ(warnings, std::vector<std::string>{c.text});
        EXPECT_FALSE(stream_is_open());
        EXPECT_EQ(open_stream_device(), -1);
        EXPECT_EQ(stream_engine::open_stream_count(), 0);
        EXPECT_EQ(player_state.playing, 0);
        EXPECT_EQ(player_state.silenced, 1);
        queue();  // nothing to send to: silent
        EXPECT_EQ(warnings.size(), 1u);
        ASSERT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));
        queue();
        midiStreamRestart(stream_handle);
        stream_engine::advance_ms(20);
        EXPECT_GE(device1->event_count(), 1u);
        close_midi_stream();
        device1->clear();
    }
}

TEST_F(StreamTransport, DeviceChangeReopensAtTheNextOpenOnly) {
    player_state.midi_out_device = 0;
    ASSERT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));
    HMIDISTRM first = stream_handle;
    ASSERT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));
    EXPECT_EQ(stream_handle, first);
    EXPECT_EQ(stream_engine::open_stream_count(), 1);

    player_state.midi_out_device = 1;
    ASSERT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));
    EXPECT_EQ(open_stream_device(), 1);
    EXPECT_EQ(stream_engine::open_stream_count(), 1);
    append({0xF0, 0x2D, 0x4C, 0xF7});
    queue();
    midiStreamRestart(stream_handle);
    stream_engine::advance_ms(20);
    EXPECT_EQ(device0->event_count(), 0u);
    EXPECT_EQ(device1->event_count(), 1u);
}

TEST_F(StreamTransport, MapperStreamIsTrackedReusedAndClosed) {
    ASSERT_EQ(player_state.midi_out_device, -1);
    ASSERT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));
    EXPECT_EQ(open_stream_device(), -1);
    EXPECT_TRUE(stream_is_open());
    ASSERT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));
    EXPECT_EQ(stream_engine::open_stream_count(), 1);
    queue();
    midiStreamRestart(stream_handle);
    stream_engine::advance_ms(20);
    EXPECT_EQ(device0->event_count(), 1u);  // the mapper plays on device 0
    close_midi_stream();
    EXPECT_EQ(stream_engine::open_stream_count(), 0);
    EXPECT_FALSE(stream_is_open());
}

TEST_F(StreamTransport, ExitWithoutAStreamDoesNothing) {
    int64_t before = stream_engine::now_us();
    close_midi_stream();
    EXPECT_EQ(stream_engine::now_us(), before);  // not even the 100 ms wait
    EXPECT_EQ(stream_engine::open_stream_count(), 0);
}

TEST_F(StreamTransport, ExitWhilePlayingStopsAndClosesTheStream) {
    ASSERT_TRUE(open_midi_stream(nullptr, player_state.midi_out_device));
    for (int i = 0; i < 3; ++i) queue();
    midiStreamRestart(stream_handle);
    stream_engine::advance_ms(10);
    close_midi_stream();
    EXPECT_EQ(stream_engine::open_stream_count(), 0);
    for (const MIDIHDR& header : stream_headers) EXPECT_EQ(header.dwFlags & MHDR_PREPARED, 0u);
}

}  // namespace

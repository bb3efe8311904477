// Playing on the virtual clock, where every time is exact: when events play,
// what the sink and the callback see and in which order, pause, stop, close,
// and the callbacks that call back into the stream as the player's do.
#include <gtest/gtest.h>

#include <array>

#include "platform/clock.h"
#include "stream_test_support.h"

namespace {

using namespace stream_test;

class VirtualPlayback : public StreamTest {};

// The player's rhythm: one long event of 20 ticks at 1 ms per tick.
TEST_F(VirtualPlayback, AnEventPlaysItsDeltaAfterTheRestartThenCallsBackThenReturnsItsBuffer) {
    HMIDISTRM stream = open_player_stream();
    EventBuffer buffer;
    buffer.long_event(20, {0xF0, 0x2D, 0x4E, 0x05, 0xF7});
    MIDIHDR* header = buffer.header();
    ASSERT_EQ(prepare_and_queue(stream, header), MMSYSERR_NOERROR);

    advance_ms(100);
    EXPECT_EQ(sink_a->event_count(), 0u) << "a new stream waits, paused";
    midiStreamRestart(stream);
    advance_ms(19);
    EXPECT_EQ(sink_a->event_count(), 0u);
    advance_ms(1);

    auto events = sink_a->events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].time_us, 120000);
    EXPECT_EQ(events[0].delta_ticks, 20u);
    EXPECT_EQ(events[0].bytes, (std::vector<uint8_t>{0xF0, 0x2D, 0x4E, 0x05, 0xF7}));

    auto calls = recorder.snapshot();
    ASSERT_EQ(calls.size(), 3u);  // MOM_OPEN, MOM_POSITIONCB, MOM_DONE
    EXPECT_EQ(calls[1].message, MOM_POSITIONCB);
    EXPECT_EQ(calls[1].header, header);
    EXPECT_EQ(calls[1].offset, 0u);
    EXPECT_EQ(calls[1].sink_events, 1u) << "the bytes are out before the callback";
    EXPECT_TRUE(calls[1].flags & MHDR_INQUEUE) << "still held during its position callback";
    EXPECT_EQ(calls[2].message, MOM_DONE);
    EXPECT_EQ(calls[2].header, header);
    EXPECT_EQ(calls[2].flags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
    EXPECT_EQ(calls[2].time_us, 120000);

    midiStreamClose(stream);
}

TEST_F(VirtualPlayback, EventsOfOneBufferFollowEachOtherByTheirDeltas) {
    HMIDISTRM stream = open_player_stream();
    EventBuffer buffer;
    buffer.long_event(10, {0xF0, 0x01, 0xF7})  // offset 0: 12 + 3 bytes padded to 4; plays at 10 ms
        .short_event(0, 0x90, 0x3C, 0x7F)      // offset 16, at 10 ms too
        .long_event(5, {}, false)               // offset 28, empty, at 15 ms
        .nop_event(7, true);                    // offset 40, at 22 ms
    MIDIHDR* header = buffer.header();
    ASSERT_EQ(prepare_and_queue(stream, header), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    advance_ms(100);

    auto events = sink_a->events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(sink_times(*sink_a), (std::vector<int64_t>{10000, 10000, 15000, 22000}));
    EXPECT_EQ(events[1].bytes, (std::vector<uint8_t>{0x90, 0x3C, 0x7F}));
    EXPECT_TRUE(events[2].bytes.empty()) << "empty events reach the sink; the sink decides";
    EXPECT_TRUE(events[3].bytes.empty());
    EXPECT_EQ(events[3].delta_ticks, 7u);

    auto positions = recorder.of(MOM_POSITIONCB);
    ASSERT_EQ(positions.size(), 2u) << "only events that ask for one";
    EXPECT_EQ(positions[0].offset, 0u);
    EXPECT_EQ(positions[1].offset, 40u);
    auto dones = recorder.of(MOM_DONE);
    ASSERT_EQ(dones.size(), 1u);
    EXPECT_EQ(dones[0].time_us, 22000);
    midiStreamClose(stream);
}

TEST_F(VirtualPlayback, TicksFollowTheTimeDivisionAndTheTempoFromWhereTheyChange) {
    HMIDISTRM stream;
    UINT device = 0;
    ASSERT_EQ(midiStreamOpen(&stream, &device, 1, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    EventBuffer buffer;
    buffer.long_event(96, {0xF0, 0xF7})   // default 96 per quarter at 500,000 us: 500 ms
        .tempo_event(48, 250000)          // 250 ms later; from here a quarter is 250 ms
        .long_event(96, {0xF0, 0xF7});    // 250 ms later
    ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    advance_ms(1000);
    EXPECT_EQ(sink_times(*sink_a), (std::vector<int64_t>{500000, 750000, 1000000}));
    MIDIPROPTEMPO tempo{sizeof tempo, 0};
    midiStreamProperty(stream, reinterpret_cast<LPBYTE>(&tempo), MIDIPROP_GET | MIDIPROP_TEMPO);
    EXPECT_EQ(tempo.dwTempo, 250000u) << "a tempo event sets the stream's tempo";

    // Set as a property, the tempo counts from the last event played.
    tempo.dwTempo = 1000000;
    midiStreamProperty(stream, reinterpret_cast<LPBYTE>(&tempo), MIDIPROP_SET | MIDIPROP_TEMPO);
    EventBuffer later;
    later.long_event(96, {0xF0, 0xF7});
    ASSERT_EQ(prepare_and_queue(stream, later.header()), MMSYSERR_NOERROR);
    advance_ms(1500);
    EXPECT_EQ(sink_times(*sink_a).back(), 2000000);

    EventBuffer smpte;
    smpte.long_event(40, {0xF0, 0xF7});  // 25 frames of 40 ticks a second: 40 ticks are 40 ms
    midiStreamStop(stream);
    ASSERT_EQ(set_time_division(stream, 0xE728), MMSYSERR_NOERROR);
    ASSERT_EQ(prepare_and_queue(stream, smpte.header()), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    advance_ms(100);
    EXPECT_EQ(sink_times(*sink_a).back(), 2540000);
    midiStreamClose(stream);
}

TEST_F(VirtualPlayback, BuffersQueuedFromTheCallbackStayOnTheGridForAThousandPeriods) {
    HMIDISTRM stream = open_player_stream();
    std::array<EventBuffer, 16> ring;
    int queued = 0;
    for (int i = 0; i < 16; ++i) ring[i].long_event(20, {0xF0, static_cast<uint8_t>(i), 0xF7});
    auto queue = [&] {
        EventBuffer& slot = ring[queued % 16];
        EXPECT_EQ(midiOutUnprepareHeader(as_out(stream), slot.last_header(), sizeof(MIDIHDR)), MMSYSERR_NOERROR);
        EXPECT_EQ(prepare_and_queue(stream, slot.header()), MMSYSERR_NOERROR);
        ++queued;
    };
    recorder.on_call = [&](const Call& call) {
        if (call.message == MOM_POSITIONCB && queued < 1000) queue();
    };
    queue();
    midiStreamRestart(stream);
    advance_ms(20 * 1000 + 500);

    auto times = sink_times(*sink_a);
    ASSERT_EQ(times.size(), 1000u);
    for (size_t i = 0; i < times.size(); ++i) ASSERT_EQ(times[i], 20000 * int64_t(i + 1)) << "event " << i;
    EXPECT_EQ(recorder.of(MOM_DONE).size(), 1000u);
    midiStreamClose(stream);
}

// Each event falls due at the restart plus the deltas before it. A position
// callback that queues the next buffer 30 ms late (a 20 ms period) delays
// that one event; the next is on the grid again. Only a stream more than a
// second behind begins a new time line, where the late event plays.
TEST_F(VirtualPlayback, ALateCallbackDelaysOneEventAndTheRestKeepTheSumOfTheirDeltas) {
    HMIDISTRM stream = open_player_stream();
    std::array<EventBuffer, 16> ring;
    for (int i = 0; i < 16; ++i) ring[i].long_event(20, {0xF0, static_cast<uint8_t>(i), 0xF7});
    int queued = 0;
    auto queue = [&] {
        EventBuffer& slot = ring[queued % 16];
        midiOutUnprepareHeader(as_out(stream), slot.last_header(), sizeof(MIDIHDR));
        ASSERT_EQ(prepare_and_queue(stream, slot.header()), MMSYSERR_NOERROR);
        ++queued;
    };
    int played = 0;
    recorder.on_call = [&](const Call& call) {
        if (call.message != MOM_POSITIONCB) return;
        ++played;
        if (played != 5 && played != 20) queue();  // the 5th and 20th callbacks are late
    };
    queue();
    midiStreamRestart(stream);
    advance_ms(130);  // the 5th event played at 100 ms; its callback comes now
    queue();
    advance_ms(400 - 130);
    std::vector<int64_t> expected = {20000, 40000, 60000, 80000, 100000, 130000};
    for (int n = 7; n <= 20; ++n) expected.push_back(20000 * n);
    EXPECT_EQ(sink_times(*sink_a), expected);

    advance_ms(1500);  // 1.5 s late: the events missed are not sent in a burst
    queue();
    advance_ms(20);
    expected.insert(expected.end(), {1900000, 1920000});
    EXPECT_EQ(sink_times(*sink_a), expected);
    recorder.on_call = nullptr;
    midiStreamStop(stream);
    midiStreamClose(stream);
}

TEST_F(VirtualPlayback, PauseHoldsThePositionAndRestartGoesOnFromIt) {
    HMIDISTRM stream = open_player_stream();
    EventBuffer buffer;
    buffer.long_event(20, {0xF0, 0xF7}).long_event(20, {0xF0, 0xF7});
    ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    advance_ms(30);
    EXPECT_EQ(midiStreamPause(stream), MMSYSERR_NOERROR);
    EXPECT_EQ(midiStreamPause(stream), MMSYSERR_NOERROR) << "pausing twice has no effect";
    advance_ms(500);
    EXPECT_EQ(sink_a->event_count(), 1u);
    EXPECT_EQ(midiStreamRestart(stream), MMSYSERR_NOERROR);
    EXPECT_EQ(midiStreamRestart(stream), MMSYSERR_NOERROR) << "restarting a running stream has no effect";
    advance_ms(100);
    EXPECT_EQ(sink_times(*sink_a), (std::vector<int64_t>{20000, 540000})) << "10 ms were left at the pause";
    midiStreamClose(stream);
}

TEST_F(VirtualPlayback, StopReturnsEveryHeldBufferInOrderAndResetsThePosition) {
    HMIDISTRM stream = open_player_stream();
    std::array<EventBuffer, 3> buffers;
    for (auto& buffer : buffers) buffer.long_event(20, {0xF0, 0xF7}).long_event(20, {0xF0, 0xF7});
    for (auto& buffer : buffers) ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    advance_ms(30);  // the first buffer is half played

    ASSERT_EQ(midiStreamStop(stream), MMSYSERR_NOERROR);
    auto dones = recorder.of(MOM_DONE);
    ASSERT_EQ(dones.size(), 3u) << "all returned before stop returns";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(dones[i].header, buffers[i].last_header());
        EXPECT_EQ(dones[i].flags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
    }
    advance_ms(1000);
    EXPECT_EQ(sink_a->event_count(), 1u) << "nothing more plays";
    EXPECT_EQ(midiStreamStop(stream), MMSYSERR_NOERROR) << "stopping a stopped stream";
    EXPECT_EQ(recorder.of(MOM_DONE).size(), 3u);

    // Stopped means paused at position 0: the next event counts from the restart.
    midiOutUnprepareHeader(as_out(stream), buffers[0].last_header(), sizeof(MIDIHDR));
    ASSERT_EQ(prepare_and_queue(stream, buffers[0].header()), MMSYSERR_NOERROR);
    advance_ms(50);
    EXPECT_EQ(sink_a->event_count(), 1u);
    midiStreamRestart(stream);
    advance_ms(20);
    EXPECT_EQ(sink_times(*sink_a).back(), 1100000);
    midiStreamStop(stream);
    midiStreamClose(stream);
}

// The player stops the stream from the worker while callbacks come, and a
// callback may stop or close its own stream: no deadlock, and each buffer
// comes back exactly once.
TEST_F(VirtualPlayback, ACallbackMayStopAndCloseItsOwnStream) {
    HMIDISTRM stream = open_player_stream();
    std::array<EventBuffer, 2> buffers;
    for (auto& buffer : buffers) buffer.long_event(20, {0xF0, 0xF7});
    for (auto& buffer : buffers) ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
    MMRESULT stop_result = 99, close_result = 99;
    recorder.on_call = [&](const Call& call) {
        if (call.message == MOM_POSITIONCB) stop_result = midiStreamStop(stream);
        if (call.message == MOM_DONE && call.header == buffers[1].last_header()) close_result = midiStreamClose(stream);
    };
    midiStreamRestart(stream);
    advance_ms(100);

    EXPECT_EQ(stop_result, MMSYSERR_NOERROR);
    EXPECT_EQ(close_result, MMSYSERR_NOERROR);
    EXPECT_EQ(sink_a->event_count(), 1u);
    auto dones = recorder.of(MOM_DONE);
    ASSERT_EQ(dones.size(), 2u);
    EXPECT_EQ(dones[0].header, buffers[0].last_header()) << "the playing buffer, returned by the stop";
    EXPECT_EQ(dones[1].header, buffers[1].last_header());
    EXPECT_EQ(recorder.calls.back().message, MOM_CLOSE);
    EXPECT_EQ(open_stream_count(), 0);
}

TEST_F(VirtualPlayback, AStreamClosedFromItsCallbackFreesItsSlotForTheNextOpen) {
    HMIDISTRM stream = open_player_stream();
    EventBuffer buffer;
    buffer.long_event(20, {0xF0, 0xF7});
    recorder.on_call = [&](const Call& call) {
        if (call.message == MOM_DONE) {
            midiOutUnprepareHeader(as_out(stream), buffer.last_header(), sizeof(MIDIHDR));
            EXPECT_EQ(midiStreamClose(stream), MMSYSERR_NOERROR);
        }
    };
    ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    advance_ms(20);
    EXPECT_EQ(open_stream_count(), 0);
    recorder.on_call = nullptr;
    HMIDISTRM again = open_player_stream();
    EXPECT_NE(again, stream) << "a new handle, so the old one stays dead";
    EXPECT_EQ(midiStreamRestart(stream), MMSYSERR_INVALHANDLE);
    midiStreamClose(again);
}

// A stream that queues a zero-delta event from every callback never lets
// time move on by itself; advance_ms still returns, having played its budget.
TEST_F(VirtualPlayback, ZeroDeltaEventsQueuedForEverDoNotHangTheClock) {
    HMIDISTRM stream = open_player_stream();
    std::array<EventBuffer, 2> pair;
    for (auto& buffer : pair) buffer.long_event(0, {0xF0, 0xF7});
    int played = 0;
    recorder.on_call = [&](const Call& call) {
        if (call.message != MOM_POSITIONCB) return;
        EventBuffer& next = pair[++played % 2];
        midiOutUnprepareHeader(as_out(stream), next.last_header(), sizeof(MIDIHDR));
        prepare_and_queue(stream, next.header());
    };
    ASSERT_EQ(prepare_and_queue(stream, pair[0].header()), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    advance_ms(1);
    EXPECT_EQ(played, 1000);
    EXPECT_EQ(now_us(), 1000) << "time still reaches its target";
    advance_ms(3);
    EXPECT_EQ(played, 4000);
    EXPECT_TRUE(advance_to_next_event());
    EXPECT_EQ(played, 5000);
    recorder.on_call = nullptr;
    midiStreamStop(stream);
    midiStreamClose(stream);
}

TEST_F(VirtualPlayback, AdvanceToNextEventPlaysTheNextInstantOnly) {
    EXPECT_FALSE(advance_to_next_event()) << "nothing open";
    HMIDISTRM stream = open_player_stream();
    EventBuffer buffer;
    buffer.long_event(30, {0xF0, 0xF7}).long_event(0, {0xF0, 0xF7}).long_event(5, {0xF0, 0xF7});
    ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
    EXPECT_FALSE(advance_to_next_event()) << "queued, but paused";
    midiStreamRestart(stream);
    EXPECT_TRUE(advance_to_next_event());
    EXPECT_EQ(now_us(), 30000);
    EXPECT_EQ(sink_a->event_count(), 2u) << "both events due at 30 ms";
    EXPECT_TRUE(advance_to_next_event());
    EXPECT_EQ(now_us(), 35000);
    EXPECT_FALSE(advance_to_next_event());
    midiStreamClose(stream);
}

TEST_F(VirtualPlayback, StreamsOnTwoDevicesPlayInTimeOrder) {
    HMIDISTRM first = open_player_stream(0);
    HMIDISTRM second = open_player_stream(1);
    EventBuffer a, b;
    a.long_event(10, {0xF0, 0x0A, 0xF7}).long_event(20, {0xF0, 0x0A, 0xF7});  // 10, 30 ms
    b.long_event(20, {0xF0, 0x0B, 0xF7}).long_event(20, {0xF0, 0x0B, 0xF7});  // 20, 40 ms
    ASSERT_EQ(prepare_and_queue(first, a.header()), MMSYSERR_NOERROR);
    ASSERT_EQ(prepare_and_queue(second, b.header()), MMSYSERR_NOERROR);
    midiStreamRestart(first);
    midiStreamRestart(second);
    std::vector<int64_t> order;
    recorder.on_call = [&](const Call& call) {
        if (call.message == MOM_POSITIONCB) order.push_back(now_us());
    };
    advance_ms(50);
    EXPECT_EQ(order, (std::vector<int64_t>{10000, 20000, 30000, 40000}));
    EXPECT_EQ(sink_times(*sink_a), (std::vector<int64_t>{10000, 30000}));
    EXPECT_EQ(sink_times(*sink_b), (std::vector<int64_t>{20000, 40000}));
    midiStreamClose(first);
    midiStreamClose(second);
}

TEST_F(VirtualPlayback, SleepMovesTheVirtualClockAndPlaysWhatFallsDue) {
    HMIDISTRM stream = open_player_stream();
    EventBuffer buffer;
    buffer.long_event(15, {0xF0, 0xF7});
    ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    sleep_ms(10);
    EXPECT_EQ(now_us(), 10000);
    EXPECT_EQ(sink_a->event_count(), 0u);
    sleep_ms(10);
    EXPECT_EQ(sink_times(*sink_a), (std::vector<int64_t>{15000}));
    midiStreamClose(stream);
}

// A callback that waits (the player's callback may sleep) cannot have events
// played underneath it; its wait stretches the advance that runs it.
TEST_F(VirtualPlayback, ASleepInsideACallbackStretchesTheRunningAdvance) {
    HMIDISTRM stream = open_player_stream();
    EventBuffer buffer;
    buffer.long_event(10, {0xF0, 0xF7}).long_event(10, {0xF0, 0xF7});
    ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
    bool slept = false;
    recorder.on_call = [&](const Call& call) {
        if (call.message == MOM_POSITIONCB && !slept) {
            slept = true;
            sleep_ms(50);
            EXPECT_EQ(sink_a->event_count(), 1u) << "nothing played under the callback";
        }
    };
    midiStreamRestart(stream);
    advance_ms(10);
    EXPECT_EQ(now_us(), 60000) << "10 ms asked for, 50 ms slept inside";
    EXPECT_EQ(sink_times(*sink_a), (std::vector<int64_t>{10000, 20000}));
    midiStreamClose(stream);
}

TEST_F(VirtualPlayback, ABufferWithoutEventsComesBackWhenItsTurnComes) {
    HMIDISTRM stream = open_player_stream();
    EventBuffer first, empty;
    first.long_event(20, {0xF0, 0xF7});
    empty.word(0);
    MIDIHDR* nothing_recorded = empty.header();
    nothing_recorded->dwBytesRecorded = 0;
    ASSERT_EQ(prepare_and_queue(stream, first.header()), MMSYSERR_NOERROR);
    ASSERT_EQ(prepare_and_queue(stream, nothing_recorded), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    advance_ms(100);
    auto dones = recorder.of(MOM_DONE);
    ASSERT_EQ(dones.size(), 2u);
    EXPECT_EQ(dones[1].header, empty.last_header());
    EXPECT_EQ(dones[1].time_us, 20000);
    EXPECT_EQ(sink_a->event_count(), 1u);
    midiStreamClose(stream);
}

TEST_F(VirtualPlayback, ResetClosesEveryStreamSilentlyAndHandsItsBuffersBack) {
    HMIDISTRM stream = open_player_stream();
    EventBuffer buffer;
    buffer.long_event(20, {0xF0, 0xF7});
    ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
    size_t calls_before = recorder.snapshot().size();
    reset_engine();
    EXPECT_EQ(open_stream_count(), 0);
    EXPECT_EQ(recorder.snapshot().size(), calls_before) << "no callbacks into a finished test";
    EXPECT_EQ(buffer.last_header()->dwFlags & (MHDR_INQUEUE | MHDR_DONE), MHDR_DONE);
    EXPECT_EQ(clock_kind(), ClockKind::real_time);
    EXPECT_EQ(midiOutGetNumDevs(), 0u);
    EXPECT_EQ(midiStreamClose(stream), MMSYSERR_INVALHANDLE);
}

}  // namespace

// The real-time clock: a player thread per stream. Timing is asserted loosely
// (this machine is shared); what is asserted tightly is order, completeness,
// and that stop and close wait for callbacks without ever deadlocking.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "platform/clock.h"
#include "stream_test_support.h"

namespace {

using namespace stream_test;
using namespace std::chrono_literals;

class RealClock : public StreamTest {
protected:
    RealClock() : StreamTest(ClockKind::real_time) {}
};

// Polls until done() holds, for at most the timeout.
template <class Done>
bool wait_for(Done done, std::chrono::milliseconds timeout = 10s) {
    auto give_up = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A ring of 16 one-event buffers refilled from the callback, as the player does.
struct Ring {
    std::array<EventBuffer, 16> slots;
    std::mutex lock;  // the player's StreamLock: queueings never overlap
    int queued = 0;
    HMIDISTRM stream = nullptr;

    explicit Ring(DWORD delta) {
        for (int i = 0; i < 16; ++i) slots[i].long_event(delta, {0xF0, 0x2D, static_cast<uint8_t>(i), 0xF7});
    }
    bool queue() {
        std::lock_guard<std::mutex> guard(lock);
        EventBuffer& slot = slots[queued % 16];
        if (midiOutUnprepareHeader(as_out(stream), slot.last_header(), sizeof(MIDIHDR)) != MMSYSERR_NOERROR)
            return false;
        if (prepare_and_queue(stream, slot.header()) != MMSYSERR_NOERROR) return false;
        ++queued;
        return true;
    }
};

TEST_F(RealClock, EventsPlayInOrderAndRoughlyOnTime) {
    HMIDISTRM stream = open_player_stream();
    Ring ring(10);
    ring.stream = stream;
    constexpr int count = 50;
    recorder.on_call = [&](const Call& call) {
        if (call.message == MOM_POSITIONCB && ring.queued < count) ring.queue();
    };
    ASSERT_TRUE(ring.queue());
    int64_t start = now_us();
    midiStreamRestart(stream);
    ASSERT_TRUE(wait_for([&] { return recorder.of(MOM_DONE).size() == count; }));

    auto events = sink_a->events();
    ASSERT_EQ(events.size(), size_t{count});
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(events[i].bytes[2], i % 16) << "event " << i << " out of order";
        EXPECT_GE(events[i].time_us, start + 10000 * (i + 1) - 500) << "event " << i << " early";
    }
    // 500 ms of events; loosely on time, even on a busy machine.
    EXPECT_LT(events.back().time_us - start, 500000 + 250000);
    midiStreamClose(stream);
}

// Holds up the player thread for 50 ms in one event, as a busy machine might.
class StallingSink : public MidiSink {
public:
    StallingSink(std::shared_ptr<CaptureSink> capture, int stalled_event)
        : capture_(std::move(capture)), stalled_event_(stalled_event) {}
    void play(const uint8_t* bytes, uint32_t length, uint32_t delta_ticks, int64_t time_us) override {
        capture_->play(bytes, length, delta_ticks, time_us);
        if (++played_ == stalled_event_) std::this_thread::sleep_for(50ms);
    }

private:
    std::shared_ptr<CaptureSink> capture_;
    int stalled_event_;
    int played_ = 0;
};

// At a 20 ms period the stall holds up the 11th and 12th events, which play at
// once when it ends; from the 13th on every event is back at the restart plus
// the sum of its deltas, rather than 30 ms behind for the rest of the stream.
TEST_F(RealClock, AStalledEventDelaysOnlyTheEventsItHoldsUp) {
    set_devices({{"Stalling", std::make_shared<StallingSink>(sink_a, 10)}});
    HMIDISTRM stream = open_player_stream();
    Ring ring(20);
    ring.stream = stream;
    constexpr int count = 40;
    recorder.on_call = [&](const Call& call) {
        if (call.message == MOM_POSITIONCB && ring.queued < count) ring.queue();
    };
    ASSERT_TRUE(ring.queue());
    int64_t start = now_us();
    midiStreamRestart(stream);
    ASSERT_TRUE(wait_for([&] { return recorder.of(MOM_DONE).size() == count; }));

    auto events = sink_a->events();
    ASSERT_EQ(events.size(), size_t{count});
    EXPECT_GE(events[10].time_us, start + 250000 - 500) << "held up until the stall ended";
    std::vector<int64_t> lateness;
    for (int i = 12; i < count; ++i) lateness.push_back(events[i].time_us - (start + 20000 * (i + 1)));
    std::sort(lateness.begin(), lateness.end());
    EXPECT_LT(lateness[lateness.size() / 2], 10000) << "the stall moved the later events";
    midiStreamClose(stream);
}

TEST_F(RealClock, StopFromAnotherThreadWaitsForTheRunningCallbackAndReturnsEachBufferOnce) {
    HMIDISTRM stream = open_player_stream();
    std::array<EventBuffer, 3> buffers;
    for (auto& buffer : buffers) buffer.long_event(20, {0xF0, 0xF7});
    std::atomic<bool> inside{false};
    std::atomic<int64_t> callback_ended{0};
    recorder.on_call = [&](const Call& call) {
        if (call.message != MOM_POSITIONCB || callback_ended) return;
        inside = true;
        std::this_thread::sleep_for(100ms);
        callback_ended = now_us();
        inside = false;
    };
    for (auto& buffer : buffers) ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    ASSERT_TRUE(wait_for([&] { return inside.load(); }));

    ASSERT_EQ(midiStreamStop(stream), MMSYSERR_NOERROR);
    EXPECT_FALSE(inside);
    EXPECT_GT(callback_ended, 0) << "stop returned while the callback still ran";

    std::map<const MIDIHDR*, int> returned;
    for (const Call& call : recorder.of(MOM_DONE)) ++returned[call.header];
    ASSERT_EQ(returned.size(), 3u);
    for (auto& buffer : buffers) EXPECT_EQ(returned[buffer.last_header()], 1);
    EXPECT_EQ(sink_a->event_count(), 1u);
    EXPECT_EQ(midiStreamClose(stream), MMSYSERR_NOERROR);
}

// The player's worker restarts the stream while the UI thread may be
// stopping it. A restart that lands while stop waits for a callback must not
// leave the stream running on a stale time base after stop has returned.
TEST_F(RealClock, ARestartRacingAStopLeavesTheStreamStoppedAtPositionZero) {
    HMIDISTRM stream = open_player_stream();
    EventBuffer first, next;
    first.long_event(10, {0xF0, 0xF7});
    next.long_event(50, {0xF0, 0x01, 0xF7});
    std::atomic<bool> inside{false};
    recorder.on_call = [&](const Call& call) {
        if (call.message != MOM_POSITIONCB || call.header != first.last_header()) return;
        inside = true;
        std::this_thread::sleep_for(100ms);
        inside = false;
    };
    ASSERT_EQ(prepare_and_queue(stream, first.header()), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    ASSERT_TRUE(wait_for([&] { return inside.load(); }));
    std::thread restarter([&] {
        std::this_thread::sleep_for(30ms);  // stop is waiting for the callback by now
        midiStreamRestart(stream);
    });
    ASSERT_EQ(midiStreamStop(stream), MMSYSERR_NOERROR);
    restarter.join();

    ASSERT_EQ(prepare_and_queue(stream, next.header()), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(80ms);
    EXPECT_EQ(sink_a->event_count(), 1u) << "stopped: nothing plays until the restart";
    int64_t restart = now_us();
    midiStreamRestart(stream);
    ASSERT_TRUE(wait_for([&] { return sink_a->event_count() == 2; }));
    EXPECT_GE(sink_a->events()[1].time_us, restart + 50000 - 500) << "50 ticks after the restart, not at once";
    midiStreamStop(stream);
    midiStreamClose(stream);
}

TEST_F(RealClock, CloseFromAnotherThreadWaitsForTheLastMomDone) {
    HMIDISTRM stream = open_player_stream();
    EventBuffer buffer;
    buffer.long_event(10, {0xF0, 0xF7});
    std::atomic<bool> inside{false};
    recorder.on_call = [&](const Call& call) {
        if (call.message != MOM_DONE) return;
        inside = true;
        std::this_thread::sleep_for(50ms);
        inside = false;
    };
    ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    ASSERT_TRUE(wait_for([&] { return inside.load(); }));
    ASSERT_EQ(midiStreamClose(stream), MMSYSERR_NOERROR);
    EXPECT_FALSE(inside);
    auto calls = recorder.snapshot();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2].message, MOM_DONE);
    EXPECT_EQ(calls.back().message, MOM_CLOSE);
    EXPECT_EQ(open_stream_count(), 0);
}

TEST_F(RealClock, ACallbackStopsAndClosesItsOwnStreamOnItsPlayerThread) {
    HMIDISTRM stream = open_player_stream();
    std::array<EventBuffer, 2> buffers;
    for (auto& buffer : buffers) buffer.long_event(10, {0xF0, 0xF7});
    std::atomic<MMRESULT> stop_result{99}, close_result{99};
    recorder.on_call = [&](const Call& call) {
        if (call.message == MOM_POSITIONCB) stop_result = midiStreamStop(stream);
        if (call.message == MOM_DONE && call.header == buffers[1].last_header()) close_result = midiStreamClose(stream);
    };
    for (auto& buffer : buffers) ASSERT_EQ(prepare_and_queue(stream, buffer.header()), MMSYSERR_NOERROR);
    midiStreamRestart(stream);
    // The close comes from a MOM_DONE that the stop itself sends, so the
    // stream is gone before the stop has returned its result.
    ASSERT_TRUE(wait_for([&] { return open_stream_count() == 0 && stop_result != 99; }));
    EXPECT_EQ(stop_result, MMSYSERR_NOERROR);
    EXPECT_EQ(close_result, MMSYSERR_NOERROR);
    EXPECT_EQ(recorder.snapshot().back().message, MOM_CLOSE);

    // The slot, whose old thread ends by itself, serves a new stream at once.
    recorder.on_call = nullptr;
    HMIDISTRM again = open_player_stream();
    EventBuffer next;
    next.long_event(5, {0xF0, 0x01, 0xF7});
    ASSERT_EQ(prepare_and_queue(again, next.header()), MMSYSERR_NOERROR);
    midiStreamRestart(again);
    ASSERT_TRUE(wait_for([&] { return sink_a->event_count() == 2; }));
    midiStreamClose(again);
}

// The player's three threads at once: the callback refilling the ring, the
// worker pausing and restarting, the UI reading properties. Every queued
// buffer comes back exactly once, and the stream closes cleanly after.
TEST_F(RealClock, ThreadsQueuePauseAndStopTogetherWithoutLosingABuffer) {
    HMIDISTRM stream = open_player_stream();
    Ring ring(1);
    ring.stream = stream;
    std::atomic<int> returned{0};
    recorder.on_call = [&](const Call& call) {
        if (call.message == MOM_DONE) ++returned;
        if (call.message == MOM_POSITIONCB) ring.queue();
    };
    ASSERT_TRUE(ring.queue());
    ASSERT_TRUE(ring.queue());
    midiStreamRestart(stream);

    std::atomic<bool> done{false};
    std::thread worker([&] {
        while (!done) {
            midiStreamPause(stream);
            std::this_thread::sleep_for(1ms);
            midiStreamRestart(stream);
            std::this_thread::sleep_for(2ms);
        }
    });
    std::thread reader([&] {
        MIDIPROPTEMPO tempo{sizeof tempo, 0};
        while (!done) {
            midiStreamProperty(stream, reinterpret_cast<LPBYTE>(&tempo), MIDIPROP_GET | MIDIPROP_TEMPO);
            midiOutGetNumDevs();
            std::this_thread::sleep_for(1ms);
        }
    });
    std::this_thread::sleep_for(300ms);
    done = true;
    worker.join();
    reader.join();

    // A callback running as stop is called may still queue; that buffer comes
    // back with the others, and nothing plays after.
    ASSERT_EQ(midiStreamStop(stream), MMSYSERR_NOERROR);
    EXPECT_GT(ring.queued, 10) << "the ring kept going";
    EXPECT_EQ(returned, ring.queued);
    EXPECT_EQ(midiStreamClose(stream), MMSYSERR_NOERROR);
}

TEST_F(RealClock, SleepWaitsAtLeastAsLongAsAsked) {
    auto before = std::chrono::steady_clock::now();
    sleep_ms(20);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 20ms);
}

}  // namespace

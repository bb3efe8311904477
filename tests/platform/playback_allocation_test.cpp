// Nothing is allocated on the playback path: queueing, playing, the capture
// sink within its reservation, and the callbacks' round trip. This binary
// counts every operator new while a test asks it to.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include "stream_test_support.h"

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* counted_allocation(std::size_t size) {
    if (counting) ++allocations;
    if (void* memory = std::malloc(size ? size : 1)) return memory;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return counted_allocation(size); }
void* operator new[](std::size_t size) { return counted_allocation(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

using namespace stream_test;

struct Counting {
    Counting() {
        allocations = 0;
        counting = true;
    }
    ~Counting() { counting = false; }
};

TEST(PlaybackAllocation, TheCaptureSinkRecordsWithinItsReservationWithoutAllocating) {
    CaptureSink sink(1000, 8000);
    const uint8_t frame[] = {0xF0, 0x2D, 0x4E, 0x01, 0x02, 0x03, 0x04, 0xF7};
    {
        Counting scope;
        for (int i = 0; i < 1000; ++i) sink.play(frame, sizeof frame, 20, i * 20000);
        EXPECT_EQ(allocations, 0);
    }
    auto events = sink.events();
    ASSERT_EQ(events.size(), 1000u);
    EXPECT_EQ(events[999].time_us, 999 * 20000);
    EXPECT_EQ(events[999].delta_ticks, 20u);
    EXPECT_EQ(events[999].bytes, std::vector<uint8_t>(frame, frame + sizeof frame));

    sink.clear();
    EXPECT_EQ(sink.event_count(), 0u);
    {
        Counting scope;
        for (int i = 0; i < 1000; ++i) sink.play(frame, sizeof frame, 20, i);
        EXPECT_EQ(allocations, 0) << "clear keeps the reservation";
    }
    sink.play(frame, sizeof frame, 20, 0);  // past the reservation it grows
    EXPECT_EQ(sink.event_count(), 1001u);
}

// A callback that refills a ring of 16 buffers the way the player does, and
// allocates nothing itself.
struct RingPlayer {
    std::array<EventBuffer, 16> slots;
    HMIDISTRM stream = nullptr;
    std::atomic<int> queued{0}, played{0}, limit{0};

    RingPlayer() {
        for (int i = 0; i < 16; ++i) slots[i].long_event(20, {0xF0, 0x2D, 0x4E, static_cast<uint8_t>(i), 0xF7});
    }
    void queue() {
        EventBuffer& slot = slots[queued % 16];
        midiOutUnprepareHeader(as_out(stream), slot.last_header(), sizeof(MIDIHDR));
        if (prepare_and_queue(stream, slot.header()) == MMSYSERR_NOERROR) ++queued;
    }
    static void CALLBACK callback(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
        auto* player = reinterpret_cast<RingPlayer*>(instance);
        if (message != MOM_POSITIONCB) return;
        ++player->played;
        if (player->queued < player->limit) player->queue();
    }
    void open(int events) {
        limit = events;
        UINT device = 0;
        ASSERT_EQ(midiStreamOpen(&stream, &device, 1, reinterpret_cast<DWORD_PTR>(&callback),
                                 reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
        ASSERT_EQ(set_time_division(stream, 500), MMSYSERR_NOERROR);
        queue();
    }
};

class PlaybackAllocationOnTheEngine : public ::testing::Test {
protected:
    void TearDown() override { reset_engine(); }
};

TEST_F(PlaybackAllocationOnTheEngine, AThousandPeriodsOnTheVirtualClockAllocateNothing) {
    reset_engine();
    set_clock(ClockKind::virtual_time);
    auto sink = std::make_shared<CaptureSink>(2000, 20000);
    set_devices({{"Capture", sink}});
    RingPlayer player;
    player.open(1000);
    midiStreamRestart(player.stream);
    {
        Counting scope;
        advance_ms(20 * 1000);
        EXPECT_EQ(allocations, 0);
    }
    EXPECT_EQ(player.played, 1000);
    EXPECT_EQ(sink->event_count(), 1000u);
    midiStreamClose(player.stream);
}

TEST_F(PlaybackAllocationOnTheEngine, TheRealTimePlayerThreadAllocatesNothingWhilePlaying) {
    reset_engine();
    set_clock(ClockKind::real_time);
    auto sink = std::make_shared<CaptureSink>(100, 1000);
    set_devices({{"Capture", sink}});
    RingPlayer player;
    for (auto& slot : player.slots) *reinterpret_cast<DWORD*>(slot.header()->lpData) = 2;  // 2 ms periods
    player.open(40);
    {
        Counting scope;
        midiStreamRestart(player.stream);
        auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (player.played < 40 && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(allocations, 0);
    }
    EXPECT_EQ(player.played, 40);
    midiStreamStop(player.stream);
    midiStreamClose(player.stream);
}

}  // namespace

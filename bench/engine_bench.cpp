// The stream engine's timing on the real clock, the way the player drives it:
// one long SysEx event per 20 ms period, the next buffer queued from each
// MOM_POSITIONCB out of a ring of 16. Prints each event's lateness against its
// ideal time (restart + n periods) as median, 99th percentile and maximum, and
// the drift after the last event: on an idle machine, with two busy processes
// beside it, and with one position callback 50 ms late (a late callback may
// delay the events it holds up, never those after). Then the virtual clock's
// throughput.
//
//   engine_bench [events, default 1000] [period in ms, default 20]
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "busy_processes.h"
#include "platform/player_thread_priority.h"
#include "platform/stream_engine.h"
#include "platform/winmm_stream.h"

namespace {

using namespace stream_engine;

struct Slot {
    DWORD delta;
    DWORD stream_id;
    DWORD event;
    uint8_t bytes[40];  // a full register frame
};

struct RingPlayer {
    std::array<Slot, 16> slots{};
    std::array<MIDIHDR, 16> headers{};
    HMIDISTRM stream = nullptr;
    DWORD period_ticks = 20;
    std::atomic<int> queued{0}, played{0};
    int limit = 0;
    int late_callback = -1;  // this event's position callback comes 50 ms late

    void queue() {
        int n = queued;
        Slot& slot = slots[n % 16];
        MIDIHDR& header = headers[n % 16];
        auto out = reinterpret_cast<HMIDIOUT>(stream);
        midiOutUnprepareHeader(out, &header, sizeof header);
        slot.delta = period_ticks;
        slot.event = MEVT_F_LONG | MEVT_F_CALLBACK | sizeof slot.bytes;
        slot.bytes[0] = 0xF0;
        slot.bytes[1] = 0x2D;
        slot.bytes[2] = 0x4E;
        slot.bytes[3] = static_cast<uint8_t>(n & 0x7F);
        slot.bytes[sizeof slot.bytes - 1] = 0xF7;
        header = MIDIHDR{};
        header.lpData = reinterpret_cast<LPSTR>(&slot);
        header.dwBufferLength = header.dwBytesRecorded = sizeof slot;
        midiOutPrepareHeader(out, &header, sizeof header);
        if (midiStreamOut(stream, &header, sizeof header) == MMSYSERR_NOERROR) ++queued;
    }

    static void CALLBACK callback(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR) {
        auto* player = reinterpret_cast<RingPlayer*>(instance);
        if (message != MOM_POSITIONCB) return;
        if (++player->played == player->late_callback) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (player->queued < player->limit) player->queue();
    }

    bool open(int events) {
        limit = events;
        UINT device = 0;
        if (midiStreamOpen(&stream, &device, 1, reinterpret_cast<DWORD_PTR>(&callback), reinterpret_cast<DWORD_PTR>(this),
                           CALLBACK_FUNCTION) != MMSYSERR_NOERROR)
            return false;
        MIDIPROPTIMEDIV division{sizeof division, 500};  // 1 ms ticks at the default tempo
        midiStreamProperty(stream, reinterpret_cast<LPBYTE>(&division), MIDIPROP_SET | MIDIPROP_TIMEDIV);
        queue();
        return true;
    }

    void close() {
        midiStreamStop(stream);
        for (MIDIHDR& header : headers) midiOutUnprepareHeader(reinterpret_cast<HMIDIOUT>(stream), &header, sizeof header);
        midiStreamClose(stream);
    }
};

double percentile(std::vector<int64_t> values, double fraction) {
    std::sort(values.begin(), values.end());
    size_t index = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return static_cast<double>(values[index]);
}

const char* scheduling_name() {
    switch (player_thread_timeliness().scheduling) {
        case Timeliness::Scheduling::real_time: return "SCHED_FIFO";
        case Timeliness::Scheduling::real_time_from_rtkit: return "SCHED_FIFO from RealtimeKit";
        default: return "normal priority";
    }
}

// Returns whether the targets were met.
bool real_time_run(const char* what, int events, int period_ms, int busy, int late_callback) {
    BusyProcesses load(busy);
    reset_engine();
    set_clock(ClockKind::real_time);
    auto sink = std::make_shared<CaptureSink>(events + 16, (events + 16) * 40);
    set_devices({{"Bench capture", sink}});
    RingPlayer player;
    player.period_ticks = static_cast<DWORD>(period_ms);
    player.late_callback = late_callback;
    if (!player.open(events)) {
        std::printf("cannot open a stream\n");
        return false;
    }
    std::printf("real-time clock, %s: %d events at a %d ms period (%.1f s), player thread %s\n", what, events,
                period_ms, events * period_ms / 1000.0, scheduling_name());
    int64_t start = now_us();
    midiStreamRestart(player.stream);
    while (player.played < events) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    player.close();

    auto captured = sink->events();
    std::vector<int64_t> lateness;
    for (size_t i = 0; i < captured.size() && i < static_cast<size_t>(events); ++i)
        lateness.push_back(captured[i].time_us - (start + int64_t{period_ms} * 1000 * int64_t(i + 1)));
    int64_t drift = lateness.back();
    std::printf("  lateness median %.0f us, p99 %.0f us, max %lld us, min %lld us\n", percentile(lateness, 0.5),
                percentile(lateness, 0.99), static_cast<long long>(*std::max_element(lateness.begin(), lateness.end())),
                static_cast<long long>(*std::min_element(lateness.begin(), lateness.end())));
    std::printf("  drift after the last event %lld us\n", static_cast<long long>(drift));
    // The late callback's events are late by design; the rest must not be.
    bool within = percentile(lateness, 0.5) < 1000 && (late_callback > 0 || percentile(lateness, 0.99) < 1000) &&
                  drift < 1000 && drift > -1000;
    std::printf("  targets (median%s, |drift| under 1 ms): %s\n", late_callback > 0 ? "" : ", p99",
                within ? "met" : "MISSED");
    return within;
}

void virtual_run(int events) {
    reset_engine();
    set_clock(ClockKind::virtual_time);
    auto sink = std::make_shared<CaptureSink>(events + 16, (events + 16) * 40);
    set_devices({{"Bench capture", sink}});
    RingPlayer player;
    player.open(events);
    midiStreamRestart(player.stream);
    auto begin = std::chrono::steady_clock::now();
    advance_ms(int64_t{20} * events + 20);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    player.close();
    std::printf("virtual clock: %d events (%.0f s of music) in %.1f ms: %.2f million events a second\n",
                static_cast<int>(sink->event_count()), events * 0.02, seconds * 1000, events / seconds / 1e6);
    reset_engine();
}

}  // namespace

int main(int argc, char** argv) {
    int events = argc > 1 ? std::atoi(argv[1]) : 1000;
    int period_ms = argc > 2 ? std::atoi(argv[2]) : 20;
    if (events < 2 || period_ms < 1) {
        std::printf("usage: engine_bench [events >= 2] [period in ms >= 1]\n");
        return 2;
    }
    real_time_run("idle", events, period_ms, 0, -1);
    real_time_run("two busy processes", events, period_ms, 2, -1);
    real_time_run("one callback 50 ms late", events, period_ms, 0, 10);
    virtual_run(100000);
    return 0;
}

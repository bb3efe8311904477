// Playing a stream's events: the step both clocks share, and the real-time
// clock's thread.
#include <chrono>

#include "platform/engine_state.h"
#include "platform/event_walk.h"
#include "platform/player_thread_priority.h"

namespace stream_engine {

namespace {

// Every event falls due at the restart plus the deltas before it, so a late
// wake-up or a late callback delays only the events it holds up; those that
// follow keep their times, and the events that fell behind play at once
// until the stream is back on time. A stream further behind than any wake-up
// is late (the whole process was stopped: SIGSTOP, a debugger) would send
// everything it missed in one burst, which a synthesizer's MIDI cable needs
// seconds to carry; it begins a new time line at the late event instead.
constexpr int64_t max_catch_up_us = 1'000'000;

const uint8_t* buffer_bytes(const MIDIHDR* header) { return reinterpret_cast<const uint8_t*>(header->lpData); }

void call_back(MidiOutCallback callback, HMIDISTRM handle, UINT message, DWORD_PTR instance, const MIDIHDR* header) {
    if (callback)
        callback(reinterpret_cast<HMIDIOUT>(handle), message, instance, reinterpret_cast<DWORD_PTR>(header), 0);
}

}  // namespace

bool next_due_us(const Stream& s, int64_t& due_us) {
    if (!s.open || !s.running || !s.head) return false;
    StreamEvent event;
    int64_t stream_due = s.position.us;  // a buffer without events returns as soon as it is reached
    if (read_event(buffer_bytes(s.head), s.head->dwBytesRecorded, s.head_offset, event)) {
        stream_due = time_after(s.position, tick_length(s.time_division, s.tempo_us), event.delta_ticks);
    }
    due_us = s.run_base_us + stream_due;
    return true;
}

bool play_next(std::unique_lock<std::mutex>& lock, Stream& s, uint32_t generation) {
    Engine& e = engine();
    const auto me = std::this_thread::get_id();
    while (s.callback_busy && s.generation == generation) {
        // A callback of this stream is running further up this thread's stack:
        // its events wait until it has returned.
        if (s.callback_thread == me) return false;
        s.changed.wait(lock);
    }
    int64_t due_us;
    if (s.generation != generation || !next_due_us(s, due_us) || due_us > clock_now_us(e, s.clock)) return false;

    MIDIHDR* header = s.head;
    StreamEvent event;
    bool has_event = read_event(buffer_bytes(header), header->dwBytesRecorded, s.head_offset, event);
    if (has_event) {
        const TickLength tick = tick_length(s.time_division, s.tempo_us);
        int64_t now = stream_time_us(e, s);
        if (now - time_after(s.position, tick, event.delta_ticks) > max_catch_up_us) {
            s.position = {now, 0};
        } else {
            advance_position(s.position, tick, event.delta_ticks);
        }
        if (event.kind == EventKind::tempo && event.tempo_us != 0) {
            s.tempo_us = event.tempo_us;
            s.position.rest = 0;  // the new tick length counts from this event on
        }
    }
    bool last = !has_event || event.next_offset >= header->dwBytesRecorded;
    if (last) {
        s.head = header->lpNext;
        if (!s.head) s.tail = nullptr;
        s.head_offset = 0;
        s.in_flight = header;
    } else {
        s.head_offset = event.next_offset;
    }
    if (has_event && event.wants_callback) header->dwOffset = event.offset;

    // Everything the callbacks need is copied now: once the lock is released
    // the stream may be stopped or closed under us (from the callback itself).
    const uint32_t epoch = s.epoch;
    s.callback_busy = true;
    s.callback_thread = me;
    MidiSink* sink = s.sink.get();  // the slot keeps it alive while this token is held
    MidiOutCallback callback = s.callback;
    DWORD_PTR instance = s.instance;
    HMIDISTRM handle = handle_of(index_of(e, s), generation);
    int64_t played_at = engine_time_us(e, s.clock);
    lock.unlock();

    if (has_event && sink) sink->play(event.bytes, event.length, event.delta_ticks, played_at);
    if (has_event && event.wants_callback) call_back(callback, handle, MOM_POSITIONCB, instance, header);

    lock.lock();
    if (s.generation == generation && last && s.epoch == epoch) {
        // A stop in between has already returned this buffer itself, and a
        // close cannot happen while the stream holds it.
        header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        s.in_flight = nullptr;
        --s.held;
        lock.unlock();
        call_back(callback, handle, MOM_DONE, instance, header);
        lock.lock();
    }
    // A close from inside the callback has already freed the slot, token and all.
    if (s.callback_busy && s.callback_thread == me) {
        s.callback_busy = false;
        s.changed.notify_all();
    }
    return true;
}

void run_player_thread(int index, uint32_t generation) {
    make_player_thread_timely();
    Engine& e = engine();
    Stream& s = e.streams[index];
    std::unique_lock<std::mutex> lock(e.lock);
    s.player_ready = true;
    s.changed.notify_all();
    while (s.generation == generation && !s.player_quit) {
        int64_t due_us;
        if (!next_due_us(s, due_us)) {
            s.changed.wait(lock);
            continue;
        }
        // Deadlines are absolute on the steady clock, so a late wake-up
        // shortens the next wait instead of pushing every later event back.
        if (due_us > steady_us()) {
            std::chrono::steady_clock::time_point deadline{std::chrono::microseconds(due_us)};
            s.changed.wait_until(lock, deadline);
            continue;
        }
        play_next(lock, s, generation);
    }
}

}  // namespace stream_engine

#pragma once
// The stream engine's process-wide state, shared by its source files and by
// nothing else. One lock guards all of it. The lock is never held while a
// stream's callback or a device's sink runs: the player's callback calls back
// into the stream (midiStreamOut and friends), and other threads stop and
// close streams while a callback runs.
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/stream_engine.h"
#include "platform/tick_clock.h"
#include "platform/winmm_stream.h"

namespace stream_engine {

constexpr int max_streams = 32;

// One open stream. Buffers wait in an intrusive list through their own lpNext,
// so queueing never allocates.
struct Stream {
    bool open = false;        // the slot is taken (also while it is being closed)
    uint32_t generation = 0;  // part of the handle; bumped at close, so stale handles never match
    ClockKind clock = ClockKind::real_time;
    std::shared_ptr<MidiSink> sink;
    MidiOutCallback callback = nullptr;
    DWORD_PTR instance = 0;

    // Stream time, in microseconds, runs only while the stream runs.
    bool running = false;
    int64_t run_base_us = 0;  // clock time at stream time 0, while running
    int64_t frozen_us = 0;    // stream time while paused or stopped

    DWORD time_division = default_time_division;
    DWORD tempo_us = default_tempo_us;
    // Stream time at which the last event played fell due. Every event's time
    // counts on from here by its delta, never from when it actually played.
    StreamPosition position;

    MIDIHDR* head = nullptr;  // buffers with events still to play, oldest first
    MIDIHDR* tail = nullptr;
    DWORD head_offset = 0;        // the next event's record in head
    MIDIHDR* in_flight = nullptr; // left the list with its last event, not yet returned
    int held = 0;                 // buffers carrying MHDR_INQUEUE for this stream
    uint32_t epoch = 0;           // bumped by midiStreamStop, which takes every held buffer back

    // Only one callback of a stream runs at a time; whoever runs one holds
    // this token, and stop and close wait for it.
    bool callback_busy = false;
    std::thread::id callback_thread;

    std::condition_variable changed;  // the player thread's wake-up, and the token's hand-over
    std::thread player;               // real-time clock only
    bool player_ready = false;        // it has asked for real-time scheduling
    bool player_quit = false;
};

struct Engine {
    std::mutex lock;
    Stream streams[max_streams];
    std::vector<Device> devices;
    ClockKind clock = ClockKind::real_time;
    int64_t real_origin_us = 0;  // steady clock reading when the real clock was chosen
    int64_t virtual_now_us = 0;
    int faults[4] = {};
};

// Never destroyed: a player thread may outlive main's statics, and a DLL must
// not join threads while Windows unloads it.
Engine& engine();

// The steady clock in microseconds; real-time streams keep their times in it.
int64_t steady_us();

// Now on the clock a stream runs on.
int64_t clock_now_us(const Engine& e, ClockKind clock);

// Now as sinks and now_us() report it: microseconds since the clock was chosen.
int64_t engine_time_us(const Engine& e, ClockKind clock);

int64_t stream_time_us(const Engine& e, const Stream& s);

HMIDISTRM handle_of(int index, uint32_t generation);
// The open stream a handle names, or nullptr. Under the lock.
Stream* find_stream(Engine& e, const void* handle);
int index_of(const Engine& e, const Stream& s);

// When the stream's next event falls due, on its clock; false when nothing is
// due to play (stopped, paused, or nothing queued). Under the lock.
bool next_due_us(const Stream& s, int64_t& due_us);

// Plays the stream's next event if it is due now: takes the callback token,
// hands the bytes to the sink and delivers MOM_POSITIONCB and MOM_DONE with
// the lock released, and takes the lock again. False when nothing was played
// (not due, stream gone, or its token is held by this very thread).
bool play_next(std::unique_lock<std::mutex>& lock, Stream& s, uint32_t generation);

// The real-time clock's thread for one stream.
void run_player_thread(int index, uint32_t generation);

// Waits until no callback of the stream runs on another thread; one running
// on this thread is the caller's own and cannot end while it waits. Under the
// lock, which the wait releases meanwhile.
void wait_for_other_callbacks(std::unique_lock<std::mutex>& lock, Stream& s);

// The last step of a close or a reset: marks the stream closed, ends its
// player thread and tells its sink. Joining is done with the lock released;
// a close from the stream's own callback detaches the thread instead, which
// ends by itself once the callback returns and finds its stream gone.
// Returns with the lock held again.
void end_stream(std::unique_lock<std::mutex>& lock, Stream& s);

// Consumes one injected fault of that kind, if any. Under the lock.
bool take_fault(Engine& e, Fault fault);

}  // namespace stream_engine

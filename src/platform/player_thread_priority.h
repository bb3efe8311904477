#pragma once
// Kept apart from the engine's headers: its Windows source includes
// <windows.h>, whose types clash with winmm_stream.h's.

namespace stream_engine {

// Asks for prompt wake-ups on the calling thread, where the system allows it:
// real-time scheduling, and the process's memory kept in RAM. Whatever is
// refused is done without, quietly.
void make_player_thread_timely();

// What the last player thread to start was granted.
struct Timeliness {
    enum class Scheduling {
        unknown,              // no player thread has started yet
        normal,               // real-time scheduling was refused
        real_time,            // granted by privilege or the rtprio limit (Windows: time-critical priority)
        real_time_from_rtkit  // granted by RealtimeKit over D-Bus
    };
    Scheduling scheduling = Scheduling::unknown;
    int priority = 0;            // the real-time priority (SCHED_FIFO) when granted
    bool memory_locked = false;  // the process's pages stay in RAM once touched
};
Timeliness player_thread_timeliness();

}  // namespace stream_engine

#pragma once
// RealtimeKit hands out real-time scheduling over D-Bus to processes that
// lack the privilege and an rtprio limit, as a desktop session's audio
// programs get it. Linux only.

namespace stream_engine {

// Asks RealtimeKit to run the thread (its kernel id) at that SCHED_FIFO
// priority. False when libdbus, the system bus or RealtimeKit is missing, or
// when it says no.
bool ask_realtime_kit(long thread_id, int priority);

}  // namespace stream_engine

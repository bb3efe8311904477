#pragma once
// Kept apart from the engine's headers: its Windows source includes
// <windows.h>, whose types clash with winmm_stream.h's.

namespace stream_engine {

// Asks for prompt wake-ups on the calling thread, where the system allows it.
void make_player_thread_timely();

}  // namespace stream_engine

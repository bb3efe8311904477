// A real-time player thread asks to be woken on time: on a busy machine a
// normal thread's wake-up can come milliseconds late, which the synthesizer
// hears. WinMM's own MIDI thread runs at time-critical priority for the same
// reason. Each request may be refused (no privilege); the thread then plays
// at normal priority, still on its absolute deadlines.
#include "platform/player_thread_priority.h"

#ifdef _WIN32
#include <windows.h>
#elif defined(__linux__)
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#endif

namespace stream_engine {

void make_player_thread_timely() {
#ifdef _WIN32
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
#elif defined(__linux__)
    // Timer slack lets the kernel wake a normal thread up to 50 us late to
    // batch wake-ups; the player wants its deadline.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    // A low real-time priority: above every normal thread, below the
    // threads of audio servers such as JACK.
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 9;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
#endif
}

}  // namespace stream_engine

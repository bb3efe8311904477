// A real-time player thread asks to be woken on time: on a busy machine a
// normal thread's wake-up can come milliseconds late, which the synthesizer
// hears. WinMM's own MIDI thread runs at time-critical priority for the same
// reason. Each request may be refused (no privilege); the thread then plays
// at normal priority, still on its absolute deadlines.
#include "platform/player_thread_priority.h"

#include <mutex>

#ifdef _WIN32
#include <windows.h>
#elif defined(__linux__)
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

#include "platform/realtime_kit.h"

#ifndef MCL_ONFAULT
#define MCL_ONFAULT 4  // Linux 4.4; older C libraries lack the name
#endif
#endif

namespace stream_engine {

namespace {

std::mutex granted_lock;
Timeliness granted;

void note_granted(const Timeliness& timeliness) {
    std::lock_guard<std::mutex> lock(granted_lock);
    granted = timeliness;
}

#ifdef __linux__
bool set_fifo(int priority) {
    sched_param param{};
    param.sched_priority = priority;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

// Page faults on the playback path would stall the player like any other
// wait. Only pages already touched, and those touched later, are locked
// (MCL_ONFAULT): locking every mapping whole would make every thread's stack
// resident at once. Once per process; the answer does not change.
bool lock_memory() {
    static const bool locked = mlockall(MCL_CURRENT | MCL_ONFAULT) == 0;
    return locked;
}
#endif

}  // namespace

void make_player_thread_timely() {
    Timeliness got;
    got.scheduling = Timeliness::Scheduling::normal;
#ifdef _WIN32
    if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL)) {
        got.scheduling = Timeliness::Scheduling::real_time;
    }
#elif defined(__linux__)
    // Timer slack lets the kernel wake a normal thread up to 50 us late to
    // batch wake-ups; the player wants its deadline.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    // A low real-time priority: above every normal thread, below the threads
    // of audio servers such as JACK (jackd runs at 10 and its clients' process
    // threads at 5 by default), whose cycles must never wait for the player.
    const int wanted = sched_get_priority_min(SCHED_FIFO) + 2;
    // An rtprio limit below that still allows its own priority.
    rlimit limit{};
    const int allowed = getrlimit(RLIMIT_RTPRIO, &limit) == 0 ? static_cast<int>(std::min<rlim_t>(limit.rlim_cur, wanted)) : 0;
    if (set_fifo(wanted)) {
        got = {Timeliness::Scheduling::real_time, wanted};
    } else if (allowed >= 1 && allowed < wanted && set_fifo(allowed)) {
        got = {Timeliness::Scheduling::real_time, allowed};
    } else if (ask_realtime_kit(static_cast<long>(syscall(SYS_gettid)), wanted)) {
        got = {Timeliness::Scheduling::real_time_from_rtkit, wanted};
    }
    got.memory_locked = lock_memory();
#endif
    note_granted(got);
}

Timeliness player_thread_timeliness() {
    std::lock_guard<std::mutex> lock(granted_lock);
    return granted;
}

}  // namespace stream_engine

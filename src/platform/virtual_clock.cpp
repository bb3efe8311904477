// The virtual clock: time moves only when a caller moves it, and whatever
// falls due plays on that caller's thread, callbacks included. Tests get exact
// times this way, and a whole tune can be rendered faster than it plays.
#include <algorithm>

#include "platform/engine_state.h"

namespace stream_engine {

namespace {

// Events played per call: at least this many, and this many per virtual
// millisecond advanced. A stream whose events have delta 0 and that queues a
// new one from every callback would otherwise keep one call busy for ever; past
// the budget time still reaches its target and the rest play on the next call,
// late. A stream at a 1 ms period uses a thousandth of it.
constexpr int64_t events_per_call_at_least = 1000;
constexpr int64_t events_per_virtual_ms = 1000;

// Several threads may move the clock (the player's worker sleeps, the UI
// thread polls); one at a time, so time only ever moves forward in order.
std::mutex advance_mutex;

// Set while this thread is moving the clock. A callback that sleeps cannot
// play events underneath itself (its stream's token is taken), so its sleep
// stretches the advance that is running it instead.
thread_local int64_t* running_target = nullptr;

// The running virtual-clock stream whose next event falls due first (ties go
// to the lower slot, so runs are repeatable). Streams whose callback is running
// on this thread are left out.
Stream* earliest_due(Engine& e, int64_t& due_us) {
    Stream* found = nullptr;
    const auto me = std::this_thread::get_id();
    for (Stream& s : e.streams) {
        int64_t due;
        if (s.clock != ClockKind::virtual_time || !next_due_us(s, due)) continue;
        if (s.callback_busy && s.callback_thread == me) continue;
        if (!found || due < due_us) {
            found = &s;
            due_us = due;
        }
    }
    return found;
}

// Plays everything due up to target, within budget; then time stands at target.
void advance_to(std::unique_lock<std::mutex>& lock, int64_t& target, int64_t budget) {
    Engine& e = engine();
    running_target = &target;
    for (; budget > 0; --budget) {
        int64_t due_us;
        Stream* s = earliest_due(e, due_us);
        if (!s || due_us > target) break;
        e.virtual_now_us = std::max(e.virtual_now_us, due_us);
        play_next(lock, *s, s->generation);  // a stream stopped meanwhile is simply looked at again
    }
    e.virtual_now_us = std::max(e.virtual_now_us, target);
    running_target = nullptr;
}

}  // namespace

void advance_ms(int64_t milliseconds) {
    milliseconds = std::clamp<int64_t>(milliseconds, 0, int64_t{1} << 40);
    Engine& e = engine();
    if (running_target) {
        std::lock_guard<std::mutex> lock(e.lock);
        *running_target = std::max(*running_target, e.virtual_now_us + milliseconds * 1000);
        return;
    }
    std::lock_guard<std::mutex> one_at_a_time(advance_mutex);
    std::unique_lock<std::mutex> lock(e.lock);
    int64_t target = e.virtual_now_us + milliseconds * 1000;
    advance_to(lock, target, std::max(events_per_call_at_least, milliseconds * events_per_virtual_ms));
}

bool advance_to_next_event() {
    Engine& e = engine();
    if (running_target) {
        std::lock_guard<std::mutex> lock(e.lock);
        int64_t due_us;
        if (!earliest_due(e, due_us)) return false;
        *running_target = std::max(*running_target, due_us);
        return true;
    }
    std::lock_guard<std::mutex> one_at_a_time(advance_mutex);
    std::unique_lock<std::mutex> lock(e.lock);
    int64_t target;
    if (!earliest_due(e, target)) return false;
    target = std::max(target, e.virtual_now_us);
    advance_to(lock, target, events_per_call_at_least);
    return true;
}

}  // namespace stream_engine

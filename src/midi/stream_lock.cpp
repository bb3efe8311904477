#include "midi/stream_lock.h"

#include <atomic>
#include <mutex>

#include "midi/stream_transport.h"
#include "platform/clock.h"

namespace {

std::mutex ring_mutex;

// A failure is noted under the ring lock and reported outside it, by one
// thread at a time.
std::mutex report_mutex;
std::atomic<bool> broken{false};
std::atomic<bool> report_pending{false};
std::atomic<const char*> failure_text{nullptr};

thread_local int callback_depth = 0;
thread_local bool reporting_here = false;  // a message loop inside the box must not report again

}  // namespace

StreamLock::StreamLock(WindowHandle owner) : owner_(owner) { ring_mutex.lock(); }

StreamLock::~StreamLock() {
    ring_mutex.unlock();
    if (report_pending && !on_stream_callback_thread()) report_transport_failure(owner_);
}

void note_transport_failure(const char* text) {
    if (broken.exchange(true)) return;  // a stream's first failure is the one the user hears of
    failure_text = text;
    if (transport_calls().stream_broke) transport_calls().stream_broke();
    report_pending = true;
}

bool stream_broken() { return broken; }

void clear_stream_broken() { broken = false; }

void report_transport_failure(WindowHandle owner) {
    // Whoever finds a report under way waits for it, so no thread reopens the
    // stream while the old one is still being closed. sleep_ms lets the UI
    // thread's sent messages through, which the warning box's owner needs.
    if (!report_pending || reporting_here) return;
    while (!report_mutex.try_lock()) sleep_ms(1);
    reporting_here = true;
    if (report_pending) {
        if (transport_calls().stream_failed) transport_calls().stream_failed(owner, failure_text);
        close_stream_after_failure();
        report_pending = false;
    }
    reporting_here = false;
    report_mutex.unlock();
}

bool on_stream_callback_thread() { return callback_depth > 0; }

CallbackThreadMark::CallbackThreadMark() { ++callback_depth; }
CallbackThreadMark::~CallbackThreadMark() { --callback_depth; }

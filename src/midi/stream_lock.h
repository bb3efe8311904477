#pragma once
// Appends to the current stream buffer and queueings never overlap: every path
// that fills or queues a slot (pacing_step, the MOM_DONE retry, start_playback
// from the reset frame to the restart, the resume) holds this lock.
//
// It is never held across midiStreamStop, midiStreamClose or a message box:
// the platform's stop waits for its callback thread, which may be waiting for
// this lock. So a transport failure noticed under the lock only marks the
// stream broken; the warning box and the close come when the lock is released,
// or, on the stream callback's own thread, from the next worker pass.
#include "midi/window_handle.h"

class StreamLock {
public:
    explicit StreamLock(WindowHandle owner);
    ~StreamLock();
    StreamLock(const StreamLock&) = delete;
    StreamLock& operator=(const StreamLock&) = delete;

private:
    WindowHandle owner_;
};

// Called under the lock by the transport: shows nothing yet. Marks the
// stream broken, so that no later queueing reaches it, and tells the player
// (TransportCalls::stream_broke) so that no wait hangs on a callback that
// will not come.
void note_transport_failure(const char* text);

// True between a failure and its report; queueings do nothing meanwhile.
bool stream_broken();

// If a failure is waiting: the player tells it (TransportCalls::stream_failed),
// then the stream is stopped and closed so that the next start opens it
// anew. Without the lock.
void report_transport_failure(WindowHandle owner);

// A new stream is open: failures start afresh.
void clear_stream_broken();

// True on the thread that is running stream_callback right now.
bool on_stream_callback_thread();

// Marks the current thread as the stream callback's for its lifetime.
struct CallbackThreadMark {
    CallbackThreadMark();
    ~CallbackThreadMark();
};

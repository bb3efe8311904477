#include "midi/stream_transport.h"

#include <atomic>
#include <cstdint>

#include "midi/play_period.h"
#include "midi/register_frame.h"
#include "midi/stream_lock.h"
#include "platform/clock.h"

StreamBuffer stream_ring[stream_ring_slots];
MIDIHDR stream_headers[stream_ring_slots];
int32_t ring_index;
int32_t write_position;
HMIDISTRM stream_handle;

namespace {

constexpr DWORD time_division_ticks_per_quarter = 500;  // at the default tempo, 1 ms per tick

TransportCalls installed{};

// A stream opened on the mapper (device -1) leaves open_device at -1, so the
// stream's existence is kept here as well.
std::atomic<bool> stream_open;
std::atomic<int32_t> open_device{-1};

// A queueing found its slot still held by the stream; read by MOM_DONE.
std::atomic<int32_t> retry_pending{0};

// Buffers the stream has taken and handed back, counted since it opened, and
// the count at which the last buffer with messages in it was taken.
std::atomic<uint32_t> buffers_taken;
std::atomic<uint32_t> buffers_returned;
std::atomic<uint32_t> last_taken_with_messages;

// End of the last complete message in the current slot. If appends ever run
// past the message area, the slot is sent only up to here.
int32_t complete_length;
bool slot_overflowed;

// Carried from one queueing to the next, under StreamLock like the slots.
PlayPeriod stream_period;

void start_new_slot_content() {
    write_position = 0;
    complete_length = 0;
    slot_overflowed = false;
}

HMIDIOUT as_out(HMIDISTRM stream) { return reinterpret_cast<HMIDIOUT>(stream); }

// Unprepares every slot's header on the stream being closed, so that none is
// left prepared on a handle that no longer exists.
void release_headers() {
    for (MIDIHDR& header : stream_headers) midiOutUnprepareHeader(as_out(stream_handle), &header, midi_header_size);
}

void close_stream() {
    midiStreamStop(stream_handle);
    release_headers();
    midiStreamClose(stream_handle);
    stream_open = false;
    open_device = -1;
}

}  // namespace

void install_transport_calls(const TransportCalls& calls) { installed = calls; }

const TransportCalls& transport_calls() { return installed; }

int32_t period_ticks() {
    PlayPeriodLength length = installed.play_period ? installed.play_period() : PlayPeriodLength{};
    return static_cast<int32_t>(stream_period.next_ticks(length));
}

void restart_play_period() { stream_period.restart(); }

bool stream_is_open() { return stream_open; }

bool stream_holds_messages() { return buffers_returned < last_taken_with_messages; }

bool stream_holds_buffers() { return buffers_returned < buffers_taken; }

int32_t stream_time_held_ms() {
    // The stream hands buffers back in the order it took them, so those it
    // holds are the ones queued last.
    uint32_t held = buffers_taken - buffers_returned;
    if (held > stream_ring_slots) held = stream_ring_slots;
    int64_t total = 0;
    for (uint32_t back = 1; back <= held; ++back)
        total += stream_ring[(ring_index - static_cast<int32_t>(back)) & (stream_ring_slots - 1)].dwDeltaTime;
    return total > INT32_MAX ? INT32_MAX : static_cast<int32_t>(total);
}

void reset_stream_ring() {
    for (MIDIHDR& header : stream_headers) header.dwFlags = 0;
    ring_index = 0;
    start_new_slot_content();
    stream_period.restart();
    retry_pending = 0;
}

int32_t stream_retry_pending() { return retry_pending; }

int32_t open_stream_device() { return open_device; }

void append_stream_byte(uint8_t value) {
    if (write_position >= stream_message_capacity) {
        slot_overflowed = true;
        return;
    }
    stream_ring[ring_index].message[write_position++] = value;
    if (value == sysex_end) complete_length = write_position;
}

void queue_stream_buffer() {
    if (!stream_open || stream_broken()) {
        start_new_slot_content();
        return;
    }
    MIDIHDR& header = stream_headers[ring_index];
    // The slot went out 16 queueings ago; if the stream still holds it, its
    // content is dropped and the next MOM_DONE tries again.
    if (midiOutUnprepareHeader(as_out(stream_handle), &header, midi_header_size) != MMSYSERR_NOERROR) {
        retry_pending = 1;
        start_new_slot_content();
        return;
    }
    retry_pending = 0;

    DWORD length = static_cast<DWORD>(slot_overflowed ? complete_length : write_position);
    StreamBuffer& slot = stream_ring[ring_index];
    slot.dwDeltaTime = static_cast<DWORD>(period_ticks());
    slot.dwStreamID = 0;
    slot.dwEvent = MEVT_F_LONG | MEVT_F_CALLBACK | length;

    header.lpData = reinterpret_cast<LPSTR>(&slot);
    header.dwBufferLength = header.dwBytesRecorded = (length + 15) & ~DWORD{3};
    header.dwFlags = 0;
    if (midiOutPrepareHeader(as_out(stream_handle), &header, midi_header_size) != MMSYSERR_NOERROR) {
        note_transport_failure("Could not Prepare header");
        return;
    }
    if (midiStreamOut(stream_handle, &header, midi_header_size) != MMSYSERR_NOERROR) {
        note_transport_failure("Could not Stream");
        return;
    }
    uint32_t taken = ++buffers_taken;
    if (length) last_taken_with_messages = taken;
    ring_index = (ring_index + 1) & (stream_ring_slots - 1);
    start_new_slot_content();
}

bool open_midi_stream(WindowHandle owner, int32_t device) {
    if (stream_open && open_device != device) close_stream();
    if (stream_open) return true;

    UINT device_id = static_cast<UINT>(device);  // -1 is MIDI_MAPPER
    if (midiStreamOpen(&stream_handle, &device_id, 1, reinterpret_cast<DWORD_PTR>(&stream_callback),
                       reinterpret_cast<DWORD_PTR>(owner), CALLBACK_FUNCTION) != MMSYSERR_NOERROR) {
        if (installed.open_failed) installed.open_failed(owner, "Could not allocate Midi Out port");
        return false;
    }
    stream_open = true;
    open_device = device;
    clear_stream_broken();
    // Whatever a failed queueing left in the slot belonged to the old stream;
    // a start on the new one must begin with its own reset frame.
    start_new_slot_content();
    buffers_taken = buffers_returned = last_taken_with_messages = 0;

    MIDIPROPTIMEDIV time_division{sizeof(MIDIPROPTIMEDIV), time_division_ticks_per_quarter};
    if (midiStreamProperty(stream_handle, reinterpret_cast<LPBYTE>(&time_division),
                           MIDIPROP_SET | MIDIPROP_TIMEDIV) != MMSYSERR_NOERROR) {
        if (installed.open_failed) installed.open_failed(owner, "Could not set Properties");
        midiStreamClose(stream_handle);
        stream_open = false;
        open_device = -1;
        return false;
    }
    return true;
}

void close_stream_after_failure() {
    if (stream_open) close_stream();
}

void close_midi_stream() {
    if (!stream_open) return;
    // Stopping first returns the buffers the stream still holds; the
    // platform refuses to close a stream that holds any.
    midiStreamStop(stream_handle);
    release_headers();
    sleep_ms(100);
    midiStreamClose(stream_handle);
    stream_open = false;
    open_device = -1;
}

void reset_transport() {
    report_transport_failure(nullptr);
    close_midi_stream();
    reset_stream_ring();
}

void CALLBACK stream_callback(HMIDIOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
    WindowHandle window = reinterpret_cast<WindowHandle>(instance);
    CallbackThreadMark mark;
    if (message == MOM_POSITIONCB) {
        // param1 is the header of the buffer whose event just played; the
        // stream still holds it, so its delta time stands.
        uint32_t played_ticks = 0;
        uintptr_t offset = static_cast<uintptr_t>(param1) - reinterpret_cast<uintptr_t>(stream_headers);
        if (offset < sizeof stream_headers && offset % sizeof(MIDIHDR) == 0)
            played_ticks = stream_ring[offset / sizeof(MIDIHDR)].dwDeltaTime;
        if (installed.pace) installed.pace(window, played_ticks);
    } else if (message == MOM_DONE) {
        ++buffers_returned;
        if (retry_pending) {
            StreamLock lock(window);
            if (retry_pending) queue_stream_buffer();
        }
    }
}

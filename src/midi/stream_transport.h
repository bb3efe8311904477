#pragma once
// Delivers the SysEx messages through one platform MIDI stream: bytes are
// appended to the current slot of a ring of 16 buffers, and queueing a slot
// turns them into one long event, a play period long, that asks for a
// MOM_POSITIONCB when played. That callback is the player's only clock.
//
// Every append and queueing happens under StreamLock (stream_lock.h).
#include <cstdint>

#include "midi/play_period.h"
#include "midi/window_handle.h"
#include "platform/midi_stream_api.h"

constexpr int stream_ring_slots = 16;
constexpr int stream_message_capacity = 512;
constexpr UINT midi_header_size = sizeof(MIDIHDR);  // 64 on the 32-bit Windows target

// One slot: the platform's MIDIEVENT head, then the message bytes, sent as
// one long event. The platform reads this layout.
struct StreamBuffer {
    DWORD dwDeltaTime;  // period_ticks when queued
    DWORD dwStreamID;   // 0
    DWORD dwEvent;      // MEVT_F_LONG | MEVT_F_CALLBACK | message length
    uint8_t message[stream_message_capacity];
};
static_assert(sizeof(StreamBuffer) == 524);

extern StreamBuffer stream_ring[stream_ring_slots];
extern MIDIHDR stream_headers[stream_ring_slots];
extern int32_t ring_index;      // the slot being filled
extern int32_t write_position;  // next byte's offset in that slot's message area
extern HMIDISTRM stream_handle;

// What the transport asks of the player above it, registered once the way a
// front panel registers its PanelCalls. A call not registered does nothing.
struct TransportCalls {
    // MOM_POSITIONCB: a buffer's event has just played; played_ticks is its
    // delta time. The player's only clock.
    void (*pace)(WindowHandle owner, uint32_t played_ticks);
    // The play period of the buffer being queued, in machine cycles, with
    // the machine's clock and the speed setting.
    PlayPeriodLength (*play_period)();
    // Under StreamLock, at a stream's first failure: nothing more reaches
    // this stream, so nothing plays and there is nothing left to mute.
    void (*stream_broke)();
    // Tells the user why a stream could not be opened (caption "Cancel").
    // Blocks until the box is dismissed.
    void (*open_failed)(WindowHandle owner, const char* text);
    // Tells the user why a stream broke, before it is closed; without the lock.
    void (*stream_failed)(WindowHandle owner, const char* text);
};
void install_transport_calls(const TransportCalls& calls);
const TransportCalls& transport_calls();

// Header flags cleared, slot 0 current and empty, no retry waiting. At
// start-up, and when a process starts over.
void reset_stream_ring();

// Appends one byte to the current slot. Bytes that would pass the message
// area are dropped, and the slot is then sent only up to its last complete
// message, so a full slot never writes outside the ring or sends half a message.
void append_stream_byte(uint8_t value);

// Hands the current slot to the stream with a delta time of one play period
// and moves on to the next slot. A slot still held by the stream is emptied
// and retried at the next MOM_DONE (stream_retry_pending).
void queue_stream_buffer();

// 1 while a queueing found its slot still held by the stream and waits for
// the next MOM_DONE to try again.
int32_t stream_retry_pending();

// Makes sure a stream is open on device (-1 the mapper) with 1 ms ticks;
// reopens on a device change. false after it has told the user why not.
bool open_midi_stream(WindowHandle owner, int32_t device);

// The device of the open stream; -1 when none is open, or the mapper's.
int32_t open_stream_device();

// At exit: stops the stream, unprepares every header, waits 100 ms, closes.
void close_midi_stream();

// The transport as a fresh process has it: a failure still waiting is told,
// the stream closed whatever it holds, the ring emptied.
void reset_transport();

// Registered with the stream; instance is the owner window.
void CALLBACK stream_callback(HMIDIOUT handle, UINT message, DWORD_PTR instance,
                              DWORD_PTR param1, DWORD_PTR param2);

// The delta time of the buffer being queued: one play_period() in 1 ms
// ticks, with the leftover fraction of each period carried into the next
// (play_period.h). Queueing calls it.
int32_t period_ticks();

// Drops the carried leftover. Every start sequence calls it before its first
// buffer; a resume keeps the leftover.
void restart_play_period();

// True while a stream is open, the mapper's (device -1) included.
bool stream_is_open();

// True while the stream holds a buffer with messages in it that it has not
// handed back yet (MOM_DONE): stopping the stream now would drop them. With
// only empty buffers left, a stop loses nothing but waiting time.
bool stream_holds_messages();

// True while the stream holds any buffer at all.
bool stream_holds_buffers();

// The delta times of the buffers the stream holds, in ms: at most how long
// it takes to play them all. Under StreamLock.
int32_t stream_time_held_ms();

// The close that follows a reported transport failure: stop, unprepare every
// header, close; the next start opens the stream anew.
void close_stream_after_failure();

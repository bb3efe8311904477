#pragma once
// Reading a stream buffer's MIDIEVENT records where they lie: each is a delta
// time, a stream id and an event word (12 bytes); a long event's bytes follow,
// padded to a multiple of four. Nothing is copied, so playback never allocates.
#include <cstdint>

#include "platform/winmm_stream.h"

namespace stream_engine {

constexpr DWORD event_head_bytes = 12;

enum class EventKind {
    short_message,  // up to three bytes packed in the event word
    long_message,   // MEVT_LONGMSG: the bytes after the head
    tempo,          // MEVT_TEMPO: microseconds per quarter note in the event word
    silent,         // MEVT_NOP, comments, versions and unknown types: nothing to play
};

struct StreamEvent {
    DWORD offset;          // where the record starts; dwOffset for MOM_POSITIONCB
    DWORD next_offset;     // where the next record starts
    DWORD delta_ticks;
    EventKind kind;
    bool wants_callback;   // MEVT_F_CALLBACK
    DWORD tempo_us;        // for EventKind::tempo
    const uint8_t* bytes;  // what the device plays, inside the buffer itself
    uint32_t length;       // 0 for tempo and silent events
};

// Bytes of a short message with this status byte, running status included.
uint32_t short_message_length(uint8_t status);

// The record at offset, if it lies wholly within the first bytes_recorded
// bytes of data (a long event's padding may run past the end; its bytes may not).
bool read_event(const uint8_t* data, DWORD bytes_recorded, DWORD offset, StreamEvent& event);

// True when the records tile the buffer exactly: no record cut short, no
// stray bytes at the end. midiStreamOut refuses a buffer that fails this,
// so a malformed buffer can never make playback read past its end.
bool events_fit(const uint8_t* data, DWORD bytes_recorded);

}  // namespace stream_engine

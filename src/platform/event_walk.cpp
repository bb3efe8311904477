#include "platform/event_walk.h"

#include <bit>
#include <cstring>

namespace stream_engine {

// A short event's message bytes are the low three bytes of its event word;
// on a little-endian machine they lie in the buffer in playing order.
static_assert(std::endian::native == std::endian::little);

namespace {

DWORD read_dword(const uint8_t* at) {
    DWORD value;
    std::memcpy(&value, at, sizeof value);  // records need not be aligned
    return value;
}

}  // namespace

uint32_t short_message_length(uint8_t status) {
    if (status < 0x80) return 2;  // running status: two data bytes
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
        return 2;
    case 0xF0:
        break;
    default:
        return 3;
    }
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 2;
    case 0xF2:
        return 3;
    case 0xF0:  // SysEx start and end only travel in long events
    case 0xF7:
        return 0;
    default:
        return 1;
    }
}

bool read_event(const uint8_t* data, DWORD bytes_recorded, DWORD offset, StreamEvent& event) {
    if (offset > bytes_recorded || bytes_recorded - offset < event_head_bytes) return false;
    const uint8_t* head = data + offset;
    DWORD word = read_dword(head + 8);
    event.offset = offset;
    event.delta_ticks = read_dword(head);
    event.wants_callback = (word & MEVT_F_CALLBACK) != 0;
    event.tempo_us = 0;
    event.bytes = head + event_head_bytes;
    event.length = 0;
    event.next_offset = offset + event_head_bytes;

    BYTE type = static_cast<BYTE>(MEVT_EVENTTYPE(word) & ~(MEVT_F_CALLBACK >> 24));
    if (word & MEVT_F_LONG) {
        DWORD length = MEVT_EVENTPARM(word);
        if (length > bytes_recorded - event.next_offset) return false;
        DWORD padded = (length + 3) & ~DWORD{3};
        event.next_offset += padded > bytes_recorded - event.next_offset ? length : padded;
        event.kind = type == MEVT_LONGMSG ? EventKind::long_message : EventKind::silent;
        if (event.kind == EventKind::long_message) event.length = length;
        return true;
    }
    if (type == MEVT_SHORTMSG) {
        event.kind = EventKind::short_message;
        event.bytes = head + 8;
        event.length = short_message_length(head[8]);
    } else if (type == MEVT_TEMPO) {
        event.kind = EventKind::tempo;
        event.tempo_us = MEVT_EVENTPARM(word);
    } else {
        event.kind = EventKind::silent;
    }
    return true;
}

bool events_fit(const uint8_t* data, DWORD bytes_recorded) {
    DWORD offset = 0;
    StreamEvent event;
    while (offset < bytes_recorded) {
        if (!read_event(data, bytes_recorded, offset, event)) return false;
        offset = event.next_offset;
    }
    return true;
}

}  // namespace stream_engine

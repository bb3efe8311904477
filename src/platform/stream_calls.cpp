// WinMM's MIDI stream calls, by their own names, over the stream engine.
#include <algorithm>
#include <cstring>

#include "platform/engine_state.h"
#include "platform/event_walk.h"

namespace stream_engine {
namespace {

constexpr DWORD callback_type_mask = 0x00070000;
constexpr DWORD max_buffer_bytes = 65536;  // WinMM refuses stream buffers above 64K

using Lock = std::unique_lock<std::mutex>;

enum class Token { taken, already_mine, stream_gone };

// Waits until no other thread runs one of the stream's callbacks, then takes
// the token. A call made from inside the stream's own callback finds the token
// already on this thread and must not wait for itself.
Token take_token(Lock& lock, Stream& s, uint32_t generation) {
    const auto me = std::this_thread::get_id();
    if (s.callback_busy && s.callback_thread == me) return Token::already_mine;
    while (s.callback_busy && s.generation == generation) s.changed.wait(lock);
    if (s.generation != generation) return Token::stream_gone;
    s.callback_busy = true;
    s.callback_thread = me;
    return Token::taken;
}

void give_token(Stream& s) {
    if (s.callback_busy && s.callback_thread == std::this_thread::get_id()) {
        s.callback_busy = false;
        s.changed.notify_all();
    }
}

void call_back(MidiOutCallback callback, HMIDISTRM handle, UINT message, DWORD_PTR instance, DWORD_PTR param1) {
    if (callback) callback(reinterpret_cast<HMIDIOUT>(handle), message, instance, param1, 0);
}

// Hands every held buffer back with MOM_DONE, oldest first, with the lock
// released around each callback. The buffers keep MHDR_INQUEUE until their
// turn, so nobody else can touch their lpNext meanwhile.
void return_buffers(Lock& lock, Stream& s, MIDIHDR* in_flight, MIDIHDR* chain, HMIDISTRM handle) {
    MidiOutCallback callback = s.callback;
    DWORD_PTR instance = s.instance;
    MIDIHDR* first = in_flight ? in_flight : chain;
    for (MIDIHDR* header = first; header;) {
        MIDIHDR* next = header == in_flight ? chain : header->lpNext;
        header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        --s.held;
        lock.unlock();
        call_back(callback, handle, MOM_DONE, instance, reinterpret_cast<DWORD_PTR>(header));
        lock.lock();
        header = next;
    }
}

bool header_arguments_ok(const MIDIHDR* header, UINT header_size) {
    return header && header_size == sizeof(MIDIHDR);
}

bool read_property_size(const BYTE* data, DWORD& size) {
    if (!data) return false;
    std::memcpy(&size, data, sizeof size);
    return true;
}

}  // namespace
}  // namespace stream_engine

using namespace stream_engine;

MMRESULT midiStreamOpen(LPHMIDISTRM handle_out, LPUINT device_id, DWORD device_count, DWORD_PTR callback,
                        DWORD_PTR instance, DWORD open_flags) {
    if (!handle_out || !device_id || device_count != 1) return MMSYSERR_INVALPARAM;
    *handle_out = nullptr;
    DWORD callback_type = open_flags & callback_type_mask;
    if (callback_type != CALLBACK_NULL && callback_type != CALLBACK_FUNCTION) return MMSYSERR_INVALFLAG;

    Engine& e = engine();
    Lock lock(e.lock);
    UINT id = *device_id;
    if (id == MIDI_MAPPER) {
        if (e.devices.empty()) return MMSYSERR_NODRIVER;
        id = 0;  // the mapper plays on the first device
    }
    if (id >= e.devices.size()) return MMSYSERR_BADDEVICEID;
    if (take_fault(e, Fault::open)) return MMSYSERR_ALLOCATED;
    auto free_slot = std::find_if(std::begin(e.streams), std::end(e.streams), [](const Stream& s) { return !s.open; });
    if (free_slot == std::end(e.streams)) return MMSYSERR_NOMEM;
    Stream& s = *free_slot;
    s.open = true;  // taken, though no handle names it yet
    std::shared_ptr<MidiSink> sink = e.devices[id].sink;

    // The sink may open a real port, which takes its time and its own locks.
    lock.unlock();
    bool sink_ready = !sink || sink->stream_opened();
    lock.lock();
    if (!sink_ready) {
        s.open = false;
        return MMSYSERR_ALLOCATED;
    }

    s.clock = e.clock;
    s.sink = std::move(sink);
    s.callback = callback_type == CALLBACK_FUNCTION ? reinterpret_cast<MidiOutCallback>(callback) : nullptr;
    s.instance = instance;
    s.running = false;  // a new stream waits, paused, for midiStreamRestart
    s.run_base_us = 0;
    s.frozen_us = 0;
    s.time_division = default_time_division;
    s.tempo_us = default_tempo_us;
    s.position = {};
    s.head = s.tail = s.in_flight = nullptr;
    s.head_offset = 0;
    s.held = 0;
    s.epoch = 0;
    s.callback_busy = false;
    s.player_quit = false;
    int index = index_of(e, s);
    uint32_t generation = s.generation;
    s.player_ready = false;
    if (s.clock == ClockKind::real_time) {
        s.player = std::thread(run_player_thread, index, generation);
        // The handle goes out once the thread has asked for its scheduling,
        // so that nothing plays on it before.
        s.changed.wait(lock, [&s] { return s.player_ready; });
    }
    HMIDISTRM handle = handle_of(index, generation);
    *handle_out = handle;
    MidiOutCallback open_callback = s.callback;
    lock.unlock();

    call_back(open_callback, handle, MOM_OPEN, instance, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT midiStreamProperty(HMIDISTRM stream, LPBYTE property_data, DWORD property) {
    Engine& e = engine();
    Lock lock(e.lock);
    Stream* s = find_stream(e, stream);
    if (!s) return MMSYSERR_INVALHANDLE;
    DWORD action = property & (MIDIPROP_SET | MIDIPROP_GET);
    DWORD which = property & ~(MIDIPROP_SET | MIDIPROP_GET);
    DWORD size;
    if ((action != MIDIPROP_SET && action != MIDIPROP_GET) || (which != MIDIPROP_TIMEDIV && which != MIDIPROP_TEMPO) ||
        !read_property_size(property_data, size) || size != sizeof(MIDIPROPTIMEDIV)) {
        return MMSYSERR_INVALPARAM;
    }
    static_assert(sizeof(MIDIPROPTIMEDIV) == sizeof(MIDIPROPTEMPO));
    if (take_fault(e, Fault::property)) return MMSYSERR_INVALPARAM;

    DWORD& field = which == MIDIPROP_TIMEDIV ? s->time_division : s->tempo_us;
    BYTE* value_at = property_data + offsetof(MIDIPROPTIMEDIV, dwTimeDiv);
    if (action == MIDIPROP_GET) {
        std::memcpy(value_at, &field, sizeof field);
        return MMSYSERR_NOERROR;
    }
    DWORD value;
    std::memcpy(&value, value_at, sizeof value);
    bool valid = which == MIDIPROP_TIMEDIV ? valid_time_division(value) : value != 0 && value <= max_tempo_us;
    if (!valid) return MMSYSERR_INVALPARAM;
    // The new tick length counts from the last event played on.
    s->position.rest = 0;
    field = value;
    s->changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutPrepareHeader(HMIDIOUT out, LPMIDIHDR header, UINT header_size) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.lock);
    if (!find_stream(e, out)) return MMSYSERR_INVALHANDLE;
    if (!header_arguments_ok(header, header_size)) return MMSYSERR_INVALPARAM;
    if (header->dwFlags & MHDR_PREPARED) return MMSYSERR_NOERROR;  // preparing twice has no effect
    if (!header->lpData || header->dwBufferLength > max_buffer_bytes) return MMSYSERR_INVALPARAM;
    if (take_fault(e, Fault::prepare)) return MMSYSERR_NOMEM;
    header->dwFlags |= MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT out, LPMIDIHDR header, UINT header_size) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.lock);
    if (!find_stream(e, out)) return MMSYSERR_INVALHANDLE;
    if (!header_arguments_ok(header, header_size)) return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & MHDR_PREPARED)) return MMSYSERR_NOERROR;
    if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
    header->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT midiStreamOut(HMIDISTRM stream, LPMIDIHDR header, UINT header_size) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.lock);
    Stream* s = find_stream(e, stream);
    if (!s) return MMSYSERR_INVALHANDLE;
    if (!header_arguments_ok(header, header_size)) return MMSYSERR_INVALPARAM;
    if (!(header->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
    if (header->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
    // Checked here, once, so playback can trust every record it reads.
    const auto* data = reinterpret_cast<const uint8_t*>(header->lpData);
    if (header->dwBytesRecorded > header->dwBufferLength || !events_fit(data, header->dwBytesRecorded))
        return MMSYSERR_INVALPARAM;
    if (take_fault(e, Fault::out)) return MMSYSERR_ERROR;

    header->dwFlags = (header->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE | MHDR_ISSTRM;
    header->lpNext = nullptr;
    header->dwOffset = 0;
    if (s->tail) {
        s->tail->lpNext = header;
    } else {
        s->head = header;
        s->head_offset = 0;
    }
    s->tail = header;
    ++s->held;
    s->changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT midiStreamRestart(HMIDISTRM stream) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.lock);
    Stream* s = find_stream(e, stream);
    if (!s) return MMSYSERR_INVALHANDLE;
    if (!s->running) {
        s->run_base_us = clock_now_us(e, s->clock) - s->frozen_us;
        s->running = true;
        s->changed.notify_all();
    }
    return MMSYSERR_NOERROR;
}

MMRESULT midiStreamPause(HMIDISTRM stream) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.lock);
    Stream* s = find_stream(e, stream);
    if (!s) return MMSYSERR_INVALHANDLE;
    if (s->running) {
        s->frozen_us = stream_time_us(e, *s);
        s->running = false;
        s->changed.notify_all();
    }
    return MMSYSERR_NOERROR;
}

MMRESULT midiStreamStop(HMIDISTRM stream) {
    Engine& e = engine();
    Lock lock(e.lock);
    Stream* found = find_stream(e, stream);
    if (!found) return MMSYSERR_INVALHANDLE;
    Stream& s = *found;
    // Nothing new starts playing; a callback running on another thread ends
    // first, so whatever it queues meanwhile comes back with the rest.
    if (s.running) {
        s.frozen_us = stream_time_us(e, s);
        s.running = false;
    }
    Token token = take_token(lock, s, s.generation);
    if (token == Token::stream_gone) return MMSYSERR_NOERROR;

    MIDIHDR* in_flight = s.in_flight;
    MIDIHDR* chain = s.head;
    ++s.epoch;
    s.head = s.tail = s.in_flight = nullptr;
    s.head_offset = 0;
    // A restart from another thread while stop waited loses: the stream ends
    // stopped at position 0, as the caller of stop expects.
    s.running = false;
    s.frozen_us = 0;
    s.position = {};
    s.changed.notify_all();
    // The caller gets every buffer back before stop returns.
    return_buffers(lock, s, in_flight, chain, stream);
    if (token == Token::taken) give_token(s);
    return MMSYSERR_NOERROR;
}

MMRESULT midiStreamClose(HMIDISTRM stream) {
    Engine& e = engine();
    Lock lock(e.lock);
    Stream* found = find_stream(e, stream);
    if (!found) return MMSYSERR_INVALHANDLE;
    Stream& s = *found;
    if (s.held > 0) return MIDIERR_STILLPLAYING;
    // From here on the handle is dead: a callback still running elsewhere can
    // queue nothing more, and a second close finds nothing to close.
    ++s.generation;
    wait_for_other_callbacks(lock, s);
    s.callback_busy = true;
    s.callback_thread = std::this_thread::get_id();
    MidiOutCallback callback = s.callback;
    DWORD_PTR instance = s.instance;
    lock.unlock();
    call_back(callback, stream, MOM_CLOSE, instance, 0);
    lock.lock();

    end_stream(lock, s);
    return MMSYSERR_NOERROR;
}

UINT midiOutGetNumDevs() {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.lock);
    return static_cast<UINT>(e.devices.size());
}

MMRESULT midiOutGetDevCapsA(UINT_PTR device_id, LPMIDIOUTCAPSA caps, UINT caps_size) {
    if (!caps) return MMSYSERR_INVALPARAM;
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.lock);
    if (device_id == MIDI_MAPPER || device_id == static_cast<UINT_PTR>(-1)) device_id = 0;
    if (device_id >= e.devices.size()) return MMSYSERR_BADDEVICEID;

    MIDIOUTCAPSA full{};
    full.wMid = 0xFFFF;  // MM_UNMAPPED: no registered manufacturer
    full.wPid = 0xFFFF;
    full.vDriverVersion = 0x0100;
    const std::string& name = e.devices[device_id].name;
    size_t length = std::min(name.size(), sizeof full.szPname - 1);
    std::memcpy(full.szPname, name.data(), length);
    full.wTechnology = MOD_MIDIPORT;
    full.wChannelMask = 0xFFFF;
    full.dwSupport = 0x0008;  // MIDICAPS_STREAM: the device takes stream buffers directly
    // Like WinMM, a short caps_size gets the start of the record.
    std::memcpy(caps, &full, std::min<size_t>(caps_size, sizeof full));
    return MMSYSERR_NOERROR;
}

#pragma once
// Control of our MIDI stream engine, the stand-in for WinMM's MIDI streams on
// platforms without it (and, built as winmm.dll, under Wine in tests): its
// device list and where each device's events go, its clock, and faults on
// demand. The stream calls themselves are in winmm_stream.h.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace stream_engine {

// How a device's port has fared.
struct PortHealth {
    bool lost = false;         // its service or port went away, or a send failed: nothing reaches it now
    uint64_t undelivered = 0;  // messages played to it that never reached the port
};

// Where a device's played events go. play() runs on the thread that plays
// the stream (the callback thread), once per event, empty events included.
class MidiSink {
public:
    virtual ~MidiSink() = default;
    // bytes: the event's message bytes, zero or more complete SysEx messages;
    // delta_ticks: the event's delta time as queued; time_us: when it played.
    virtual void play(const uint8_t* bytes, uint32_t length, uint32_t delta_ticks, int64_t time_us) = 0;
    // A stream opens on the device, or closes. A sink behind a real port opens
    // it here, so a missing port fails midiStreamOpen (MMSYSERR_ALLOCATED)
    // rather than the first event. Several streams may share one device.
    virtual bool stream_opened() { return true; }
    virtual void stream_closed() {}
    // Asked from other threads while streams play, and after they close.
    virtual PortHealth health() { return {}; }
};

// Records every played event in memory. Storage is reserved up front, so
// play() does not allocate until the reservation is used up.
class CaptureSink : public MidiSink {
public:
    struct Event {
        int64_t time_us;
        uint32_t delta_ticks;
        std::vector<uint8_t> bytes;
    };
    explicit CaptureSink(size_t reserve_events = 1 << 16, size_t reserve_bytes = 1 << 20);
    ~CaptureSink() override;
    void play(const uint8_t* bytes, uint32_t length, uint32_t delta_ticks, int64_t time_us) override;
    std::vector<Event> events() const;  // a copy, in play order
    size_t event_count() const;
    void clear();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

struct Device {
    std::string name;  // reported as szPname (cut to 31 characters)
    std::shared_ptr<MidiSink> sink;
};

// Replaces the device list. Device id -1 (MIDI_MAPPER) plays on device 0.
void set_devices(std::vector<Device> devices);
// The device list as it stands.
std::vector<Device> devices();

// The health of a device's port; all well for a device without one.
PortHealth port_health(int device_id);

enum class MidiService {
    absent,   // not running here (no ALSA sequencer device, no JACK server)
    present,  // answered; it may have no ports
    failed,   // running, but it would not list its ports
};
struct MidiServices {
    MidiService alsa = MidiService::absent;
    MidiService jack = MidiService::absent;
};

// The device list from the system's MIDI output ports: the ALSA sequencer's
// through RtMidi, then JACK's MIDI input ports through libjack, each named as
// its service names it ("client:port" for JACK). A port is opened when a
// stream opens on it, and let go when the last stream on it closes. Not in
// the stand-in DLL.
MidiServices use_system_midi_devices();

enum class ClockKind {
    real_time,     // a player thread per stream, absolute deadlines on a steady clock
    virtual_time,  // time moves only through advance_ms or sleep_ms
};

// Chooses the clock for streams opened from now on (open streams keep
// theirs) and starts now_us() again from 0; virtual time only restarts when
// no stream is running on it.
void set_clock(ClockKind kind);
ClockKind clock_kind();

// Virtual clock: moves time on by ms, playing every event that falls due on
// the calling thread, callbacks included, in time order (ties: the stream
// opened in the lower slot first). One thread moves the clock at a time.
//
// The work per call is bounded: at most 1,000 events, or 1,000 per
// millisecond advanced if that is more. A stream that queues a delta-0 event
// from every callback would otherwise never let the call return; past the
// bound, time still reaches its target and the events left over play, late,
// on the next call. A stream at a 1 ms period uses a thousandth of it.
//
// Called from inside a callback that the clock is playing (the player's
// callback may sleep), it cannot play events underneath that callback; it
// stretches the running advance by ms instead and returns at once.
void advance_ms(int64_t milliseconds);

// Virtual clock: moves time to the next queued event of a running stream and
// plays it (and any others due at that instant, within the same bound).
// false when nothing is queued on a running stream.
bool advance_to_next_event();

// The engine's clock in microseconds since it was chosen.
int64_t now_us();

enum class Fault { open, property, prepare, out };

// The next count calls of that kind fail (open: MMSYSERR_ALLOCATED, property:
// MMSYSERR_INVALPARAM, prepare: MMSYSERR_NOMEM, out: MMSYSERR_ERROR). Only
// calls that get past their handle and argument checks count, so a fault
// stands for the platform failing, not for a caller's mistake.
void inject_fault(Fault fault, int count = 1);
void clear_faults();

// Closes every stream and restores the defaults: the real-time clock, no
// faults, no devices. For tests. Silently: held buffers are marked done, but
// no callback runs, since the callbacks may point at fixtures already gone.
void reset_engine();

// Streams open right now (tests check that nothing leaks).
int open_stream_count();

}  // namespace stream_engine

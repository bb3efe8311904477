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

// The device list from the MIDI output ports that RtMidi sees (ALSA, JACK).
// False when RtMidi cannot be used here; the list is then empty.
bool use_rtmidi_devices();

enum class ClockKind {
    real_time,     // a player thread per stream, absolute deadlines on a steady clock
    virtual_time,  // time moves only through advance_ms or sleep_ms
};

// Chooses the clock for streams opened from now on.
void set_clock(ClockKind kind);
ClockKind clock_kind();

// Virtual clock: moves time on by ms, playing every event that falls due on
// the calling thread, callbacks included, in time order.
void advance_ms(int64_t milliseconds);

// Virtual clock: moves time to the next queued event of a running stream and
// plays it (and any others due at that instant). false when nothing is queued.
bool advance_to_next_event();

// The engine's clock in microseconds since it was chosen.
int64_t now_us();

enum class Fault { open, property, prepare, out };

// The next count calls of that kind fail (open: MMSYSERR_ALLOCATED, property:
// MMSYSERR_INVALPARAM, prepare: MMSYSERR_NOMEM, out: MMSYSERR_ERROR).
void inject_fault(Fault fault, int count = 1);
void clear_faults();

// Closes every stream and restores the defaults: the real-time clock, no
// faults, no devices. For tests.
void reset_engine();

// Streams open right now (tests check that nothing leaks).
int open_stream_count();

}  // namespace stream_engine

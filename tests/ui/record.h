#pragma once
// The stand-in winmm.dll's recording of every event it played, and a
// reading of the SysEx messages in each event in the test tunes' terms.
#include <cstdint>
#include <string>
#include <vector>

struct RecordedEvent {
    int64_t time_us;              // when the event played
    std::string device;           // the device's name, as the Preferences list shows it
    uint32_t delta_ticks;         // the event's delta time as queued
    std::vector<uint8_t> bytes;   // its message bytes, possibly none
};

// One line per event: time_us, device, delta_ticks and the bytes in hex,
// separated by tabs. false when the file cannot be read or a line is not of
// that form.
bool read_record(const std::string& path, std::vector<RecordedEvent>& events);

// The messages of one event, in order, separated by blanks:
//   reset        the reset frame (volume 15, frequencies 0, cutoff at its top)
//   mute         a frame of only register 24 = 0
//   volume=1f    a frame of only register 24 = that value (a restore frame)
//   init         the test tunes' init frame (attack/decay 09, volume 1f)
//   frame=S.N    a play frame of song index S with count N
//   regs=r:v,... any other register frame
//   name="..."   a text message
//   bad          bytes that are no complete message
// An event without messages is "empty".
std::string describe_event(const std::vector<uint8_t>& bytes);

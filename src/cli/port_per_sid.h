#pragma once
// --extra-sids ports: one synthesizer of the classic kind per SID chip. The
// player encodes every chip's frames into one stream (0x4E, 0x50, 0x51); this
// device hands each chip's frames, as 0x4E frames, to that chip's port and
// every other message to all of them. Each port gets every event with its
// delta time, so the streams stay in step.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/stream_engine.h"

class PortPerSidSink : public stream_engine::MidiSink {
public:
    // ports[n] plays chip n's frames; a chip without a port is not played.
    explicit PortPerSidSink(std::vector<std::shared_ptr<stream_engine::MidiSink>> ports);
    void play(const uint8_t* bytes, uint32_t length, uint32_t delta_ticks, int64_t time_us) override;
    bool stream_opened() override;  // every port opens, or none stays open
    void stream_closed() override;
    stream_engine::PortHealth health() override;  // lost when any port is

private:
    std::vector<std::shared_ptr<stream_engine::MidiSink>> ports_;
    std::vector<std::vector<uint8_t>> events_;  // each port's share of one event
};

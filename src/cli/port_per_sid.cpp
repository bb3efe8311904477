#include "cli/port_per_sid.h"

#include "midi/register_frame.h"
#include "midi/stream_transport.h"
#include "platform/sysex_split.h"

PortPerSidSink::PortPerSidSink(std::vector<std::shared_ptr<stream_engine::MidiSink>> ports)
    : ports_(std::move(ports)), events_(ports_.size()) {
    // Reserved here: play runs on the stream's thread, which allocates nothing.
    for (auto& event : events_) event.reserve(stream_message_capacity);
}

void PortPerSidSink::play(const uint8_t* bytes, uint32_t length, uint32_t delta_ticks, int64_t time_us) {
    for (auto& event : events_) event.clear();
    stream_engine::for_each_sysex(bytes, length, [this](const uint8_t* message, size_t size) {
        int chip = -1;
        for (int c = 0; c < max_sids; ++c)
            if (size > 2 && message[2] == shared_port_frame_message(c)) chip = c;
        for (size_t port = 0; port < events_.size(); ++port) {
            if (chip >= 0 && static_cast<size_t>(chip) != port) continue;
            size_t start = events_[port].size();
            events_[port].insert(events_[port].end(), message, message + size);
            if (chip > 0) events_[port][start + 2] = message_register_frame;
        }
    });
    for (size_t port = 0; port < ports_.size(); ++port)
        ports_[port]->play(events_[port].data(), static_cast<uint32_t>(events_[port].size()), delta_ticks, time_us);
}

bool PortPerSidSink::stream_opened() {
    for (size_t port = 0; port < ports_.size(); ++port) {
        if (ports_[port]->stream_opened()) continue;
        while (port-- > 0) ports_[port]->stream_closed();
        return false;
    }
    return true;
}

void PortPerSidSink::stream_closed() {
    for (auto& port : ports_) port->stream_closed();
}

stream_engine::PortHealth PortPerSidSink::health() {
    stream_engine::PortHealth all;
    for (auto& port : ports_) {
        stream_engine::PortHealth one = port->health();
        all.lost = all.lost || one.lost;
        all.undelivered += one.undelivered;
    }
    return all;
}

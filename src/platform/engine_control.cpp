// The engine's control calls: devices, clock, faults, and the reset tests use.
#include <algorithm>

#include "platform/engine_state.h"

namespace stream_engine {

void set_devices(std::vector<Device> devices) {
    Engine& e = engine();
    std::unique_lock<std::mutex> lock(e.lock);
    // Open streams keep their own reference to their sink; the old list is
    // let go outside the lock, since a sink's destructor may close a port.
    e.devices.swap(devices);
    lock.unlock();
}

std::vector<Device> devices() {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.lock);
    return e.devices;
}

void set_clock(ClockKind kind) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.lock);
    e.clock = kind;
    if (kind == ClockKind::real_time) {
        e.real_origin_us = steady_us();
        return;
    }
    // Virtual time starts again from 0 unless streams already run on it.
    bool virtual_streams = std::any_of(std::begin(e.streams), std::end(e.streams), [](const Stream& s) {
        return s.open && s.clock == ClockKind::virtual_time;
    });
    if (!virtual_streams) e.virtual_now_us = 0;
}

PortHealth port_health(int device_id) {
    Engine& e = engine();
    std::unique_lock<std::mutex> lock(e.lock);
    if (device_id == -1) device_id = 0;  // the mapper plays on the first device
    if (device_id < 0 || static_cast<size_t>(device_id) >= e.devices.size() || !e.devices[device_id].sink) return {};
    std::shared_ptr<MidiSink> sink = e.devices[device_id].sink;
    lock.unlock();  // a sink may ask its service, which takes its time
    return sink->health();
}

ClockKind clock_kind() {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.lock);
    return e.clock;
}

int64_t now_us() {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.lock);
    return engine_time_us(e, e.clock);
}

void inject_fault(Fault fault, int count) {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.lock);
    e.faults[static_cast<int>(fault)] = std::max(count, 0);
}

void clear_faults() {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.lock);
    std::fill(std::begin(e.faults), std::end(e.faults), 0);
}

int open_stream_count() {
    Engine& e = engine();
    std::lock_guard<std::mutex> lock(e.lock);
    return static_cast<int>(std::count_if(std::begin(e.streams), std::end(e.streams),
                                          [](const Stream& s) { return s.open; }));
}

void reset_engine() {
    Engine& e = engine();
    std::unique_lock<std::mutex> lock(e.lock);
    for (Stream& s : e.streams) {
        if (!s.open) continue;
        // Silently: whoever resets has finished with its streams, and their
        // callbacks may point at fixtures that are already gone. Held buffers
        // still come back marked done, so their owners may reuse them.
        ++s.generation;
        wait_for_other_callbacks(lock, s);
        if (s.in_flight) s.in_flight->dwFlags = (s.in_flight->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        for (MIDIHDR* header = s.head; header;) {
            MIDIHDR* next = header->lpNext;
            header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
            header = next;
        }
        s.head = s.tail = s.in_flight = nullptr;
        s.held = 0;
        s.running = false;
        end_stream(lock, s);
    }
    std::fill(std::begin(e.faults), std::end(e.faults), 0);
    std::vector<Device> old_devices;
    old_devices.swap(e.devices);
    e.clock = ClockKind::real_time;
    e.real_origin_us = steady_us();
    e.virtual_now_us = 0;
    lock.unlock();
}

}  // namespace stream_engine

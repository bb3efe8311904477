#include "platform/engine_state.h"

#include <chrono>
#include <thread>

namespace stream_engine {

namespace {

// A handle is a tag, the slot's generation and its index, never a pointer: any
// value a caller passes can be checked without touching memory.
constexpr uintptr_t handle_tag = uintptr_t{0x5A} << 24;
constexpr uintptr_t handle_tag_mask = uintptr_t{0xFF} << 24;

}  // namespace

Engine& engine() {
    static Engine* const the_engine = [] {
        auto* e = new Engine;
        e->real_origin_us = steady_us();
        return e;
    }();
    return *the_engine;
}

int64_t steady_us() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t clock_now_us(const Engine& e, ClockKind clock) {
    return clock == ClockKind::real_time ? steady_us() : e.virtual_now_us;
}

int64_t engine_time_us(const Engine& e, ClockKind clock) {
    return clock == ClockKind::real_time ? steady_us() - e.real_origin_us : e.virtual_now_us;
}

int64_t stream_time_us(const Engine& e, const Stream& s) {
    return s.running ? clock_now_us(e, s.clock) - s.run_base_us : s.frozen_us;
}

HMIDISTRM handle_of(int index, uint32_t generation) {
    uintptr_t value = handle_tag | (uintptr_t{generation & 0xFFFF} << 8) | static_cast<uintptr_t>(index);
    return reinterpret_cast<HMIDISTRM>(value);
}

Stream* find_stream(Engine& e, const void* handle) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    if ((value & ~uintptr_t{0xFFFFFFFF}) != 0 || (value & handle_tag_mask) != handle_tag) return nullptr;
    auto index = static_cast<int>(value & 0xFF);
    auto generation = static_cast<uint32_t>((value >> 8) & 0xFFFF);
    if (index >= max_streams) return nullptr;
    Stream& s = e.streams[index];
    if (!s.open || (s.generation & 0xFFFF) != generation) return nullptr;
    return &s;
}

int index_of(const Engine& e, const Stream& s) { return static_cast<int>(&s - e.streams); }

bool take_fault(Engine& e, Fault fault) {
    int& count = e.faults[static_cast<int>(fault)];
    if (count <= 0) return false;
    --count;
    return true;
}

void wait_for_other_callbacks(std::unique_lock<std::mutex>& lock, Stream& s) {
    if (s.callback_busy && s.callback_thread == std::this_thread::get_id()) return;
    while (s.callback_busy) s.changed.wait(lock);
}

void end_stream(std::unique_lock<std::mutex>& lock, Stream& s) {
    s.player_quit = true;
    s.changed.notify_all();
    std::thread player = std::move(s.player);
    std::shared_ptr<MidiSink> sink = std::move(s.sink);
    s.callback = nullptr;
    s.callback_busy = false;
    s.open = false;
    lock.unlock();
    if (player.joinable()) {
        if (player.get_id() == std::this_thread::get_id()) {
            player.detach();
        } else {
            player.join();
        }
    }
    if (sink) sink->stream_closed();
    sink.reset();
    lock.lock();
}

}  // namespace stream_engine

#include <mutex>

#include "platform/stream_engine.h"

namespace stream_engine {

// Events are kept as slices of one byte store, so recording an event is two
// appends into storage reserved up front: no allocation on the player's path
// until a reservation runs out.
struct CaptureSink::Impl {
    struct Stored {
        int64_t time_us;
        uint32_t delta_ticks;
        size_t offset;
        uint32_t length;
    };
    mutable std::mutex lock;  // play() runs on the stream's thread, readers on theirs
    std::vector<Stored> events;
    std::vector<uint8_t> bytes;
};

CaptureSink::CaptureSink(size_t reserve_events, size_t reserve_bytes) : impl_(std::make_unique<Impl>()) {
    impl_->events.reserve(reserve_events);
    impl_->bytes.reserve(reserve_bytes);
}

CaptureSink::~CaptureSink() = default;

void CaptureSink::play(const uint8_t* bytes, uint32_t length, uint32_t delta_ticks, int64_t time_us) {
    std::lock_guard<std::mutex> lock(impl_->lock);
    impl_->events.push_back({time_us, delta_ticks, impl_->bytes.size(), length});
    if (length) impl_->bytes.insert(impl_->bytes.end(), bytes, bytes + length);
}

std::vector<CaptureSink::Event> CaptureSink::events() const {
    std::lock_guard<std::mutex> lock(impl_->lock);
    std::vector<Event> copy;
    copy.reserve(impl_->events.size());
    for (const Impl::Stored& stored : impl_->events) {
        auto first = impl_->bytes.begin() + static_cast<std::ptrdiff_t>(stored.offset);
        copy.push_back({stored.time_us, stored.delta_ticks, std::vector<uint8_t>(first, first + stored.length)});
    }
    return copy;
}

size_t CaptureSink::event_count() const {
    std::lock_guard<std::mutex> lock(impl_->lock);
    return impl_->events.size();
}

void CaptureSink::clear() {
    std::lock_guard<std::mutex> lock(impl_->lock);
    impl_->events.clear();  // capacity stays: the reservation holds for the next run
    impl_->bytes.clear();
}

}  // namespace stream_engine

#include "platform/message_queue.h"

#include <algorithm>
#include <cstring>

namespace stream_engine {

namespace {

size_t power_of_two_at_least(size_t value) {
    size_t size = 64;
    while (size < value) size <<= 1;
    return size;
}

}  // namespace

MessageQueue::MessageQueue(size_t capacity_bytes)
    : ring_(new uint8_t[power_of_two_at_least(capacity_bytes)]), mask_(power_of_two_at_least(capacity_bytes) - 1) {}

void MessageQueue::copy_in(size_t position, const void* from, size_t length) {
    size_t index = position & mask_;
    size_t first = std::min(length, mask_ + 1 - index);
    std::memcpy(&ring_[index], from, first);
    std::memcpy(&ring_[0], static_cast<const uint8_t*>(from) + first, length - first);
}

void MessageQueue::copy_out(size_t position, void* to, size_t length) const {
    size_t index = position & mask_;
    size_t first = std::min(length, mask_ + 1 - index);
    std::memcpy(to, &ring_[index], first);
    std::memcpy(static_cast<uint8_t*>(to) + first, &ring_[0], length - first);
}

uint32_t MessageQueue::largest_message() const { return static_cast<uint32_t>(mask_ + 1 - head_size); }

bool MessageQueue::push(int64_t stamp_us, const uint8_t* bytes, uint32_t length) {
    size_t write = write_.load(std::memory_order_relaxed);
    size_t used = write - read_.load(std::memory_order_acquire);
    if (mask_ + 1 - used < head_size + length) return false;
    copy_in(write, &stamp_us, sizeof stamp_us);
    copy_in(write + sizeof stamp_us, &length, sizeof length);
    copy_in(write + head_size, bytes, length);
    // The reader sees the message only now, whole.
    write_.store(write + head_size + length, std::memory_order_release);
    return true;
}

bool MessageQueue::empty() const {
    return read_.load(std::memory_order_acquire) == write_.load(std::memory_order_acquire);
}

bool MessageQueue::front(int64_t& stamp_us, uint32_t& length) const {
    size_t read = read_.load(std::memory_order_relaxed);
    if (read == write_.load(std::memory_order_acquire)) return false;
    copy_out(read, &stamp_us, sizeof stamp_us);
    copy_out(read + sizeof stamp_us, &length, sizeof length);
    return true;
}

void MessageQueue::pop(uint8_t* out) {
    int64_t stamp;
    uint32_t length;
    if (!front(stamp, length)) return;
    size_t read = read_.load(std::memory_order_relaxed);
    copy_out(read + head_size, out, length);
    read_.store(read + head_size + length, std::memory_order_release);
}

void MessageQueue::drop() {
    int64_t stamp;
    uint32_t length;
    if (!front(stamp, length)) return;
    read_.store(read_.load(std::memory_order_relaxed) + head_size + length, std::memory_order_release);
}

uint64_t MessageQueue::clear() {
    uint64_t count = 0;
    int64_t stamp;
    uint32_t length;
    while (front(stamp, length)) {
        drop();
        ++count;
    }
    return count;
}

}  // namespace stream_engine

#pragma once
// Messages on their way from one thread that plays them to one that sends
// them (JACK's process thread, which must never wait for a lock): a ring of
// bytes with one writer and one reader, each message stored with the time it
// was handed over. Nothing is allocated after construction.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace stream_engine {

class MessageQueue {
public:
    // capacity_bytes is rounded up to a power of two; each message takes 12
    // bytes more than its length.
    explicit MessageQueue(size_t capacity_bytes);

    // The writer's side. False, with nothing stored, when there is no room.
    bool push(int64_t stamp_us, const uint8_t* bytes, uint32_t length);
    // The longest message that fits in the empty queue.
    uint32_t largest_message() const;
    // True when the reader has taken everything.
    bool empty() const;

    // The reader's side: the oldest message's stamp and length; false when empty.
    bool front(int64_t& stamp_us, uint32_t& length) const;
    // Copies the oldest message's bytes to out (front's length of them) and removes it.
    void pop(uint8_t* out);
    // Removes the oldest message unread.
    void drop();

    // Either side, once the other has stopped: empties the queue and returns
    // how many messages were still in it.
    uint64_t clear();

private:
    static constexpr size_t head_size = sizeof(int64_t) + sizeof(uint32_t);
    void copy_in(size_t position, const void* from, size_t length);
    void copy_out(size_t position, void* to, size_t length) const;

    std::unique_ptr<uint8_t[]> ring_;
    size_t mask_;
    // Positions only grow; the index into the ring is the position & mask_.
    std::atomic<size_t> read_{0};   // written by the reader only
    std::atomic<size_t> write_{0};  // written by the writer only
};

}  // namespace stream_engine

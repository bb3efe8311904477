// The queue between the player's thread and JACK's: messages come out whole,
// in order, with their stamps, also across the ring's end; a message without
// room is refused whole.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/message_queue.h"

namespace {

using stream_engine::MessageQueue;
using Bytes = std::vector<uint8_t>;

Bytes take(MessageQueue& queue, int64_t& stamp) {
    uint32_t length = 0;
    if (!queue.front(stamp, length)) return {};
    Bytes bytes(length);
    queue.pop(bytes.data());
    return bytes;
}

TEST(MessageQueue, MessagesComeOutWholeInOrderAcrossTheRingsEndAndWithoutRoomAreRefused) {
    MessageQueue queue(64);  // 64 bytes: 52 for one message
    EXPECT_EQ(queue.largest_message(), 52u);
    EXPECT_TRUE(queue.empty());
    const Bytes frame = {0xF0, 0x2D, 0x4E, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 0xF7};  // 32 with its head
    int64_t stamp = 0;
    for (int round = 0; round < 5; ++round) {  // each round starts further on, so messages wrap
        ASSERT_TRUE(queue.push(1000 + round, frame.data(), 20));
        EXPECT_FALSE(queue.push(2000, frame.data(), 21)) << "33 more bytes do not fit in the 32 left";
        ASSERT_TRUE(queue.push(3000 + round, frame.data(), 4));
        EXPECT_EQ(take(queue, stamp), frame);
        EXPECT_EQ(stamp, 1000 + round);
        EXPECT_EQ(take(queue, stamp), Bytes(frame.begin(), frame.begin() + 4));
        EXPECT_EQ(stamp, 3000 + round);
        EXPECT_TRUE(queue.empty());
    }
    EXPECT_FALSE(queue.push(0, frame.data(), 53)) << "longer than the whole ring";

    ASSERT_TRUE(queue.push(1, frame.data(), 3));
    ASSERT_TRUE(queue.push(2, frame.data(), 3));
    queue.drop();
    EXPECT_EQ(take(queue, stamp), Bytes(frame.begin(), frame.begin() + 3));
    EXPECT_EQ(stamp, 2);
    ASSERT_TRUE(queue.push(3, frame.data(), 3));
    ASSERT_TRUE(queue.push(4, frame.data(), 3));
    EXPECT_EQ(queue.clear(), 2u);
    EXPECT_TRUE(queue.empty());
}

// One thread writes while the other reads, as the player's thread and JACK's
// do; run under ThreadSanitizer too.
TEST(MessageQueue, AWriterAndAReaderOnTwoThreadsPassEveryMessageIntact) {
    MessageQueue queue(256);
    constexpr int count = 100000;
    std::thread writer([&] {
        for (int n = 0; n < count;) {
            uint8_t length = static_cast<uint8_t>(1 + n % 40);
            Bytes message(length, static_cast<uint8_t>(n));
            if (queue.push(n, message.data(), length)) ++n;
        }
    });
    int received = 0;
    while (received < count) {
        int64_t stamp;
        Bytes message = take(queue, stamp);
        if (message.empty()) continue;
        ASSERT_EQ(stamp, received);
        ASSERT_EQ(message, Bytes(1 + received % 40, static_cast<uint8_t>(received))) << "message " << received;
        ++received;
    }
    writer.join();
    EXPECT_TRUE(queue.empty());
}

}  // namespace

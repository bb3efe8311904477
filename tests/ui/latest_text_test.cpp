// The hand-over of control texts from the worker and the stream callback to
// the window's own thread.
#include "ui/latest_text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string copied(const LatestText& slot, size_t size = LatestText::capacity) {
    std::vector<char> out(size + 1, '#');
    slot.copy(out.data(), size);
    EXPECT_EQ(out[size], '#') << "copy wrote past the size it was given";
    return out.data();
}

TEST(LatestText, TheControlGetsTheTextStoredLast) {
    LatestText slot;
    EXPECT_EQ(copied(slot), "");
    slot.store("Pause");
    slot.store("Play");
    EXPECT_EQ(copied(slot), "Play");
    slot.store(nullptr);
    EXPECT_EQ(copied(slot), "");
}

TEST(LatestText, LongTextsAreCutToFitNeverWrittenPast) {
    LatestText slot;
    std::string long_text(100, 'x');
    slot.store(long_text.c_str());
    EXPECT_EQ(copied(slot), std::string(LatestText::capacity - 1, 'x'));
    EXPECT_EQ(copied(slot, 4), "xxx");
    EXPECT_EQ(copied(slot, 1), "");
}

TEST(LatestText, OneMessageIsPostedUntilTheWindowHasTakenTheText) {
    LatestText slot;
    EXPECT_TRUE(slot.claim_post());
    EXPECT_FALSE(slot.claim_post()) << "a second update rides on the pending message";
    slot.release_post();  // the window handles the message
    EXPECT_TRUE(slot.claim_post()) << "the next update needs a message of its own";
}

// Writers on two threads (worker and callback), the window's thread taking
// texts whenever a message is pending: every text read is one of those
// written, whole, and once the writers stop the last one wins.
TEST(LatestText, ConcurrentWritersNeverTearATextAndTheLastStoreWins) {
    LatestText slot;
    const char* texts[] = {"Play", "Pause", "50 Hz", "1000 Hz"};
    std::atomic<bool> stop{false};
    std::atomic<int> posts{0};

    auto writer = [&](int first) {
        for (int i = 0; i < 20000; ++i) {
            slot.store(texts[(first + i) % 4]);
            if (slot.claim_post()) posts.fetch_add(1);
        }
    };
    std::thread reader([&] {
        while (!stop.load()) {
            if (posts.load() == 0) continue;
            posts.fetch_sub(1);
            slot.release_post();
            std::string text = copied(slot);
            bool known = false;
            for (const char* t : texts) known |= text == t;
            ASSERT_TRUE(known) << "torn text: " << text;
        }
    });
    std::thread worker(writer, 0);
    std::thread callback(writer, 1);
    worker.join();
    callback.join();
    slot.store("Play");
    if (slot.claim_post()) posts.fetch_add(1);
    // The window's thread drains what is pending: the last store shows.
    while (posts.load() != 0) std::this_thread::yield();
    stop = true;
    reader.join();
    EXPECT_EQ(copied(slot), "Play");
}

}  // namespace

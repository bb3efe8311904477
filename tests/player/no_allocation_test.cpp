// Nothing is allocated on the playback path after start-up: every operator
// new in this program is counted, and 1,000 pacing steps through a pause, a
// resume, a song change and a seek each way must not add one.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "controller_fixture.h"
#include "player/psid_loader.h"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (counting) ++allocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST_F(Controller, ThousandPacingStepsAllocateNothing) {
    PsidBuilder tune = counting_tune();
    tune.songs = 2;
    ASSERT_EQ(player.load(tune.write()), LOAD_OK);
    player.play();
    player.position_callbacks(20);

    counting = true;
    player.position_callbacks(300);
    player.play();  // pause
    player.position_callbacks(100);
    player.play();  // resume
    player.position_callbacks(300);
    player.choose_song(2);
    player.position_callbacks(300);
    player.seek_to(60000);
    player.position_callbacks(10);
    player.seek_to(1000);  // back: the init again
    player.position_callbacks(10);
    counting = false;

    EXPECT_EQ(allocations, 0);
    EXPECT_GE(player.buffer_count(), 1020u);
    EXPECT_EQ(init_count(), 3);
}

}  // namespace

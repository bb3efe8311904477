// sleep_ms where the stream engine stands in for WinMM: the engine's clock
// decides what waiting means.
#include <chrono>
#include <thread>

#include "platform/clock.h"
#include "platform/stream_engine.h"

void sleep_ms(int milliseconds) {
    if (milliseconds < 0) milliseconds = 0;
    if (stream_engine::clock_kind() == stream_engine::ClockKind::virtual_time) {
        stream_engine::advance_ms(milliseconds);
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

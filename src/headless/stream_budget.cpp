#include "headless/stream_budget.h"

#include <algorithm>
#include <memory>

#include "platform/stream_engine.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/tune_info.h"

StreamRate stream_rate(const std::vector<HeadlessPlayer::Buffer>& buffers, int64_t span_us, int64_t window_us) {
    if (buffers.empty()) return {0, 0};
    const int64_t start = buffers.front().time_us;
    const int64_t end = start + span_us;
    int64_t total = 0;
    int64_t in_window = 0;
    int64_t most = 0;
    size_t oldest = 0;
    // The window that ends just after each buffer holds the most of any that
    // ends between it and the next.
    for (size_t i = 0; i < buffers.size() && buffers[i].time_us < end; ++i) {
        int64_t bytes = static_cast<int64_t>(buffers[i].bytes.size());
        total += bytes;
        in_window += bytes;
        while (buffers[oldest].time_us <= buffers[i].time_us - window_us)
            in_window -= static_cast<int64_t>(buffers[oldest++].bytes.size());
        most = std::max(most, in_window);
    }
    return {total * 1e6 / static_cast<double>(span_us), most * 1e6 / static_cast<double>(window_us)};
}

namespace {

// Keeps each played buffer's time and length; the bytes themselves only as
// many as the length needs (stream_rate counts them).
class RecordingSink : public stream_engine::MidiSink {
public:
    void play(const uint8_t* bytes, uint32_t length, uint32_t delta_ticks, int64_t time_us) override {
        played.push_back({delta_ticks, time_us, std::vector<uint8_t>(bytes, bytes + length)});
    }
    std::vector<HeadlessPlayer::Buffer> played;
};

bool measure(const std::string& path, int song, int32_t extra_sids, bool changes_only, StreamRate& rate) {
    auto sink = std::make_shared<RecordingSink>();
    HeadlessPlayer player(sink);
    if (player.load(path) != LOAD_OK) return false;
    player_state.extra_sids = extra_sids;
    player_state.changes_only = changes_only ? 1 : 0;
    player.choose_song(song > 0 ? song : tune_info.start_song);
    player.play();
    const auto& played = sink->played;
    while (stream_engine::advance_to_next_event()) {
        if (!played.empty() && played.back().time_us >= played.front().time_us + budget_span_us) break;
        if (player_state.play_stopped_at_ms >= 0 && player_state.silenced) break;
    }
    rate = stream_rate(played);
    return true;
}

}  // namespace

bool measure_stream_budget(const std::string& path, int song, int32_t extra_sids, StreamBudget& budget) {
    return measure(path, song, extra_sids, false, budget.sent) &&
           measure(path, song, extra_sids, true, budget.changes_only);
}

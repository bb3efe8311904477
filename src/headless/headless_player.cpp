#include "headless/headless_player.h"

#include <atomic>
#include <mutex>

#include "cpu/cpu_call.h"
#include "midi/register_frame.h"
#include "midi/stream_transport.h"
#include "platform/clock.h"
#include "player/commands.h"
#include "player/panel.h"
#include "player/playback_controller.h"
#include "player/player_state.h"
#include "player/psid_loader.h"

namespace {

HeadlessPlayer* current = nullptr;
WindowHandle const no_window = nullptr;

// With no worker thread, the load's wait takes the stop request itself, as
// the worker's pass would.
void take_stop_request() {
    bool stop;
    {
        std::lock_guard<std::mutex> lock(request_mutex);
        stop = player_state.stop_request.exchange(0);
    }
    if (stop) player_state.playing = 0;
    sleep_ms(1);
}

}  // namespace

void reset_process_state() {
    reset_transport();
    stream_engine::reset_engine();
    clear_machine_state();
    reset_loaded_tune();
    reset_sid_shadow();
    reset_player_state();
    install_song_length_lookup(nullptr);
}

// Passes every event on and counts them, so that position_callbacks can wait
// for events whatever the device does with them. Only the thread moving the
// virtual clock plays events, and that is the caller's.
class HeadlessPlayer::CountingSink : public stream_engine::MidiSink {
public:
    explicit CountingSink(std::shared_ptr<stream_engine::MidiSink> device) : device_(std::move(device)) {}
    void play(const uint8_t* bytes, uint32_t length, uint32_t delta_ticks, int64_t time_us) override {
        ++count_;
        device_->play(bytes, length, delta_ticks, time_us);
    }
    size_t count() const { return count_; }

private:
    std::shared_ptr<stream_engine::MidiSink> device_;
    std::atomic<size_t> count_{0};
};

HeadlessPlayer::HeadlessPlayer(size_t reserve_events)
    : sink_(std::make_shared<stream_engine::CaptureSink>(reserve_events, reserve_events * 48)) {
    start(sink_);
}

HeadlessPlayer::HeadlessPlayer(std::shared_ptr<stream_engine::MidiSink> device) { start(std::move(device)); }

void HeadlessPlayer::start(std::shared_ptr<stream_engine::MidiSink> device) {
    current = this;
    counter_ = std::make_shared<CountingSink>(std::move(device));
    install_panel({record_warning, record_rate_label, record_play_button_text, record_song_end});
    reset_process_state();
    stream_engine::set_clock(stream_engine::ClockKind::virtual_time);
    stream_engine::set_devices({{"Headless capture", counter_}});
    install_worker_wait(take_stop_request);
}

HeadlessPlayer::~HeadlessPlayer() {
    reset_process_state();
    install_worker_wait(nullptr);
    install_panel({});
    current = nullptr;
}

void HeadlessPlayer::record_warning(void*, const char* text, const char*) {
    if (current) current->warnings_.emplace_back(text);
}
void HeadlessPlayer::record_rate_label(void*, const char* text) {
    if (current) current->rate_label_ = text;
}
void HeadlessPlayer::record_play_button_text(void*, const char* text) {
    if (current) current->play_button_text_ = text;
}

void HeadlessPlayer::record_song_end(void*) {
    if (current) ++current->song_ends_told_;
}

LoadResult HeadlessPlayer::load(const std::string& path) {
    LoadResult result = load_tune_file(path.c_str());
    worker_passes(1);
    return result;
}

void HeadlessPlayer::play(int start_ms) {
    if (const char* text = press_play()) play_button_text_ = text;
    if (start_ms > 0) ::seek_to(start_ms);
    worker_passes(1);
}

void HeadlessPlayer::stop() {
    if (const char* text = press_stop()) play_button_text_ = text;
    worker_passes(1);
}

void HeadlessPlayer::choose_song(int song) {
    ::choose_song(song);
    worker_passes(1);
}

void HeadlessPlayer::play_song(int song) {
    if (const char* text = ::play_song(song)) play_button_text_ = text;
    worker_passes(1);
}

void HeadlessPlayer::seek_to(int ms) {
    ::seek_to(ms);
    worker_passes(1);
}

void HeadlessPlayer::toggle_voice(int index) { ::toggle_voice(index); }

void HeadlessPlayer::set_speed(int percent) {
    player_state.speed_percent = scroll_scale(player_state.speed_percent, SCROLL_THUMB_TRACK, percent);
    write_rate_label(no_window);
}

void HeadlessPlayer::set_filter(int percent) {
    player_state.filter_percent = scroll_scale(player_state.filter_percent, SCROLL_THUMB_TRACK, percent);
}

void HeadlessPlayer::exit_player() { close_playback(no_window); }

void HeadlessPlayer::worker_passes(int count) {
    for (int i = 0; i < count; ++i) worker_pass(no_window);
}

void HeadlessPlayer::position_callbacks(int count) {
    size_t target = counter_->count() + static_cast<size_t>(count);
    while (counter_->count() < target) {
        if (!stream_engine::advance_to_next_event()) break;
    }
}

void HeadlessPlayer::advance_ms(int64_t milliseconds) { stream_engine::advance_ms(milliseconds); }

std::vector<HeadlessPlayer::Buffer> HeadlessPlayer::buffers() const {
    std::vector<Buffer> out;
    if (!sink_) return out;
    for (auto& event : sink_->events()) out.push_back({event.delta_ticks, event.time_us, event.bytes});
    return out;
}

size_t HeadlessPlayer::buffer_count() const { return counter_->count(); }

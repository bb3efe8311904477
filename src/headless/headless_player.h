#pragma once
// Drives the real controller with no window and no worker thread, on the
// stream engine's virtual clock: requests are taken by worker passes run here
// and time moves only when asked, so what it reads back is exact and
// repeatable. Tests and the renderer use it; the buffers it returns are what
// a synthesizer would receive, with the delta time each was queued with.
//
// The player's state is process-wide, so one HeadlessPlayer exists at a time.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/stream_engine.h"
#include "player/psid_loader.h"

class HeadlessPlayer {
public:
    struct Buffer {
        uint32_t delta_ticks;
        int64_t time_us;  // when it played, on the virtual clock
        std::vector<uint8_t> bytes;
    };

    // Every piece of process-wide state back to its start values, one
    // capture device, the virtual clock. reserve_events sizes the capture.
    explicit HeadlessPlayer(size_t reserve_events = 1 << 16);
    // The same with device as the only device and no capture: buffers() stays
    // empty, for the commands that consume every buffer as it plays.
    explicit HeadlessPlayer(std::shared_ptr<stream_engine::MidiSink> device);
    ~HeadlessPlayer();
    HeadlessPlayer(const HeadlessPlayer&) = delete;
    HeadlessPlayer& operator=(const HeadlessPlayer&) = delete;

    // The window's commands. Each runs one worker pass (10 ms) afterwards,
    // so a request is taken as the real worker would take it.
    LoadResult load(const std::string& path);
    // With start_ms, the song starts there: the seek is taken in the same
    // pass as the start, so its state frame is the first buffer after it.
    void play(int start_ms = 0);
    void stop();
    void choose_song(int song);  // 1-based
    void play_song(int song);    // after a song end: the next song from its start
    void seek_to(int ms);        // tune time of the current song
    void toggle_voice(int index);
    void set_speed(int percent);
    void set_filter(int percent);
    void exit_player();  // close_playback: the mute frames play out, then the stream closes

    void worker_passes(int count);       // count x 10 ms of worker passes
    void position_callbacks(int count);  // until count more events have played
    void advance_ms(int64_t milliseconds);

    // Every buffer played so far, in order (the stream plays in queue order).
    std::vector<Buffer> buffers() const;
    size_t buffer_count() const;  // with a device of the caller's too

    // What the panel was asked to show.
    const std::string& play_button_text() const { return play_button_text_; }
    const std::string& rate_label() const { return rate_label_; }
    const std::vector<std::string>& warnings() const { return warnings_; }
    int song_ends_told() const { return song_ends_told_; }

    std::shared_ptr<stream_engine::CaptureSink> sink() const { return sink_; }  // null with a caller's device

private:
    class CountingSink;
    void start(std::shared_ptr<stream_engine::MidiSink> device);

    static void record_warning(void* owner, const char* text, const char* caption);
    static void record_rate_label(void* window, const char* text);
    static void record_play_button_text(void* window, const char* text);
    static void record_song_end(void* window);

    std::shared_ptr<stream_engine::CaptureSink> sink_;
    std::shared_ptr<CountingSink> counter_;
    std::string play_button_text_ = "Play";
    std::string rate_label_ = "50 Hz";
    std::vector<std::string> warnings_;
    std::atomic<int> song_ends_told_{0};  // told on the thread that moves the virtual clock
};

// Returns every piece of process-wide player state to what a fresh process
// has: CPU, memory, log, tune, player state, encoder shadow, stream ring, the
// stream itself, no song length lookup. Tests that share one process call it
// between cases.
void reset_process_state();

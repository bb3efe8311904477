#pragma once
// The newest text that any thread gave one control of the main window.
//
// The playback worker and the stream callback must never wait for the UI
// thread: it may itself be waiting for them (Load's stop-and-wait, a song
// change's wait for the mute frames). So they store the text here and post a
// message; the window's own thread copies the newest text into the control
// when it gets to that message. Several updates before then cost one message,
// and the control always ends with the text stored last.
#include <atomic>
#include <cstddef>
#include <mutex>

class LatestText {
public:
    static constexpr size_t capacity = 32;  // bytes, terminating zero included; longer texts are cut

    // Any thread. Never blocks for longer than another store or copy takes.
    void store(const char* text);

    // Copies the newest text into out (size bytes, always zero-terminated).
    void copy(char* out, size_t size) const;

    // True for the one caller that should post the message; false while a
    // posted message has not been handled yet (it will show this text too).
    bool claim_post();

    // The window's thread, on the posted message, before it copies the text;
    // also the poster's, when posting failed.
    void release_post();

private:
    mutable std::mutex mutex_;
    char text_[capacity] = {};
    std::atomic<bool> post_pending_{false};
};

#pragma once
// The terminal while play runs on one: keys arrive one at a time without
// Enter and without echo, whole (key_decoder.h), Ctrl-C and Ctrl-Z still
// raise SIGINT and SIGTSTP (so the player can mute before it exits or
// stops), and the status lines are redrawn in place.
#include <termios.h>

#include <cstdint>
#include <cstdio>

#include "cli/key_decoder.h"

class RawKeys {
public:
    // Takes fd (a terminal) into key-at-a-time mode; active() says whether it did.
    explicit RawKeys(int fd);
    ~RawKeys();  // restores the terminal as it was
    RawKeys(const RawKeys&) = delete;
    RawKeys& operator=(const RawKeys&) = delete;

    bool active() const { return active_; }
    // Key-at-a-time mode again after restore (after a stop and fg, say),
    // over the modes the terminal has by then.
    bool enter();
    void restore();

    // Waits up to timeout_ms for a key; false when none came (or a signal
    // arrived). A begun escape sequence is waited for a little longer.
    bool read_key(int timeout_ms, Key& key);

private:
    int fd_;
    bool active_ = false;
    termios saved_{};
    KeyDecoder decoder_;
    uint8_t bytes_[64];  // read from the terminal, not yet decoded
    int next_ = 0;
    int filled_ = 0;
};

// The terminal's width in columns, 80 when it cannot be told.
int terminal_columns(int fd);
// Its height in lines, 24 when it cannot be told.
int terminal_rows(int fd);

// A block of lines drawn at the cursor and redrawn over itself: the cursor
// stays at the end of the last line, so a redraw goes up to the first.
class LineBlock {
public:
    explicit LineBlock(std::FILE* out) : out_(out) {}
    // Each line is cut to columns - 1, so that no line wraps and the
    // block keeps its height.
    void draw(const char* const* lines, int count, int columns);
    // Leaves the block as it stands and moves below it.
    void finish();

private:
    std::FILE* out_;
    int drawn_ = 0;
};

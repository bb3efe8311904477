#pragma once
// The terminal while play runs on one: keys arrive one at a time without
// Enter and without echo, Ctrl-C still raises SIGINT (so the player can mute
// before it exits), and the status lines are redrawn in place.
#include <termios.h>

#include <cstdio>

class RawKeys {
public:
    // Takes fd (a terminal) into key-at-a-time mode; active() says whether it did.
    explicit RawKeys(int fd);
    ~RawKeys();  // restores the terminal as it was
    RawKeys(const RawKeys&) = delete;
    RawKeys& operator=(const RawKeys&) = delete;

    bool active() const { return active_; }
    void restore();

    // Waits up to timeout_ms for a key; the key's byte, or -1 when none came
    // (or a signal arrived).
    int read_key(int timeout_ms);

private:
    int fd_;
    bool active_ = false;
    termios saved_{};
};

// The terminal's width in columns, 80 when it cannot be told.
int terminal_columns(int fd);

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

#include "cli/terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

RawKeys::RawKeys(int fd) : fd_(fd) { enter(); }

RawKeys::~RawKeys() { restore(); }

bool RawKeys::enter() {
    if (active_) return true;
    if (!isatty(fd_) || tcgetattr(fd_, &saved_) != 0) return false;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    // ISIG stays on: Ctrl-C and Ctrl-Z are signals, which the player turns
    // into a muted exit or a muted stop.
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(fd_, TCSANOW, &raw) == 0;
    return active_;
}

void RawKeys::restore() {
    if (!active_) return;
    tcsetattr(fd_, TCSANOW, &saved_);
    active_ = false;
}

bool RawKeys::read_key(int timeout_ms, Key& key) {
    for (;;) {
        while (next_ < filled_)
            if (decoder_.feed(bytes_[next_++], key)) return true;
        pollfd p{fd_, POLLIN, 0};
        int ready = poll(&p, 1, decoder_.pending() ? escape_wait_ms : timeout_ms);
        if (ready == 0 && decoder_.pending()) {
            key = decoder_.expire();
            return true;
        }
        if (ready <= 0 || !(p.revents & POLLIN)) return false;
        ssize_t got = read(fd_, bytes_, sizeof bytes_);
        if (got <= 0) return false;
        next_ = 0;
        filled_ = static_cast<int>(got);
    }
}

int terminal_columns(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
    return 80;
}

int terminal_rows(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_row > 0) return size.ws_row;
    return 24;
}

void LineBlock::draw(const char* const* lines, int count, int columns) {
    if (drawn_ > 1) std::fprintf(out_, "\033[%dA", drawn_ - 1);  // up to the block's first line
    int width = columns > 1 ? columns - 1 : 1;
    for (int i = 0; i < count; ++i) {
        std::fprintf(out_, "\r\033[K%.*s", width, lines[i]);
        if (i + 1 < count) std::fputc('\n', out_);
    }
    std::fflush(out_);
    drawn_ = count;
}

void LineBlock::finish() {
    if (drawn_ > 0) std::fputc('\n', out_);
    std::fflush(out_);
    drawn_ = 0;
}

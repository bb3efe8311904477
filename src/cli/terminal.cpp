#include "cli/terminal.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

RawKeys::RawKeys(int fd) : fd_(fd) {
    if (!isatty(fd) || tcgetattr(fd, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    // ISIG stays on: Ctrl-C is a signal, which the player turns into a
    // muted exit. Ctrl-Z would stop the process with the synthesizer still
    // sounding and the terminal left raw, so suspending is off.
    raw.c_cc[VSUSP] = _POSIX_VDISABLE;
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(fd, TCSANOW, &raw) == 0;
}

RawKeys::~RawKeys() { restore(); }

void RawKeys::restore() {
    if (!active_) return;
    tcsetattr(fd_, TCSANOW, &saved_);
    active_ = false;
}

int RawKeys::read_key(int timeout_ms) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0 || !(p.revents & POLLIN)) return -1;
    unsigned char key;
    return read(fd_, &key, 1) == 1 ? key : -1;
}

int terminal_columns(int fd) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
    return 80;
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

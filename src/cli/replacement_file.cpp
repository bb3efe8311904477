#include "cli/replacement_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

constexpr int removing_signals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int signal_count = sizeof removing_signals / sizeof removing_signals[0];

// What the signal handler reads: the temporary file's path, and whether it exists.
char temporary_path[PATH_MAX];
volatile std::sig_atomic_t temporary_exists = 0;
struct sigaction replaced_actions[signal_count];
bool handler_installed[signal_count];

void remove_temporary_and_end(int signal) {
    if (temporary_exists) unlink(temporary_path);
    // SA_RESETHAND has put the default action back: raised again, the
    // signal ends the program as soon as this handler returns.
    raise(signal);
}

// Holds the removing signals back while the file and its handlers come and
// go together, so that no signal finds one without the other.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : removing_signals) sigaddset(&held, signal);
        sigprocmask(SIG_BLOCK, &held, &before_);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &before_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t before_;
};

void install_handlers() {
    for (int i = 0; i < signal_count; ++i) {
        sigaction(removing_signals[i], nullptr, &replaced_actions[i]);
        // A signal the program ignores (SIGHUP under nohup) must go on being ignored.
        handler_installed[i] = replaced_actions[i].sa_handler == SIG_DFL;
        if (!handler_installed[i]) continue;
        struct sigaction action {};
        action.sa_handler = remove_temporary_and_end;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(removing_signals[i], &action, nullptr);
    }
}

void restore_handlers() {
    for (int i = 0; i < signal_count; ++i)
        if (handler_installed[i]) sigaction(removing_signals[i], &replaced_actions[i], nullptr);
}

// The permissions the target ends up with: those of the file it replaces,
// or those a new file gets (0666 less the umask), not mkstemp's 0600.
mode_t target_mode(const std::string& target) {
    struct stat status {};
    if (stat(target.c_str(), &status) == 0 && S_ISREG(status.st_mode)) return status.st_mode & 0777;
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool write_all(int fd, const uint8_t* bytes, size_t size) {
    while (size > 0) {
        ssize_t written = write(fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

ReplacementFile::~ReplacementFile() { discard(); }

bool ReplacementFile::create(std::string& why) {
    std::string pattern = target_ + ".XXXXXX";
    if (pattern.size() >= sizeof temporary_path) {
        error_ = ENAMETOOLONG;
        why = std::strerror(error_);
        return false;
    }
    mode_t mode = target_mode(target_);
    SignalsHeld held;
    std::memcpy(temporary_path, pattern.c_str(), pattern.size() + 1);
    fd_ = mkstemp(temporary_path);
    if (fd_ < 0) {
        error_ = errno;
        why = std::strerror(error_);
        return false;
    }
    temporary_exists = 1;
    exists_ = true;
    install_handlers();
    fchmod(fd_, mode);
    return true;
}

bool ReplacementFile::commit(const uint8_t* bytes, size_t size, std::string& why) {
    if (fd_ < 0) {
        error_ = EBADF;
        why = std::strerror(error_);
        return false;
    }
    // fsync before the rename: after a crash the target is the old file or
    // the whole new one, not a new name on blocks never written.
    bool ok = write_all(fd_, bytes, size) && fsync(fd_) == 0;
    int error = errno;
    if (close(fd_) != 0 && ok) {
        ok = false;
        error = errno;
    }
    fd_ = -1;
    if (ok && rename(temporary_path, target_.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        error_ = error;
        why = std::strerror(error);
        discard();
        return false;
    }
    SignalsHeld held;
    temporary_exists = 0;
    exists_ = false;
    restore_handlers();
    return true;
}

void ReplacementFile::discard() {
    if (!exists_) return;
    SignalsHeld held;
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    unlink(temporary_path);
    temporary_exists = 0;
    exists_ = false;
    restore_handlers();
}

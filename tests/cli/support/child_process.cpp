#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The argument vector, built before fork: between fork and exec only
// async-signal-safe calls may run, and another thread may hold malloc's lock.
class Argv {
public:
    explicit Argv(const std::vector<std::string>& args) : args_(args) {
        for (std::string& arg : args_) pointers_.push_back(arg.data());
        pointers_.push_back(nullptr);
    }
    [[noreturn]] void exec() const {
        execvp(pointers_[0], pointers_.data());
        _exit(127);
    }

private:
    std::vector<std::string> args_;
    std::vector<char*> pointers_;
};

int exit_code_of(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

// Waits up to timeout; -2 when it is still running.
int wait_for(pid_t pid, std::chrono::milliseconds timeout) {
    auto give_up = Clock::now() + timeout;
    for (;;) {
        int status;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return exit_code_of(status);
        if (done < 0) return -1;
        if (Clock::now() >= give_up) return -2;
        std::this_thread::sleep_for(5ms);
    }
}

int kill_and_reap(pid_t pid) {
    kill(pid, SIGKILL);
    int status;
    waitpid(pid, &status, 0);
    return -1;
}

std::string read_whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string temp_path() {
    char path[] = "/tmp/zarvel-cli-test-XXXXXX";
    int fd = mkstemp(path);
    if (fd >= 0) close(fd);
    return path;
}

}  // namespace

ChildResult run_child(const std::vector<std::string>& args, std::chrono::milliseconds timeout) {
    std::string out_path = temp_path();
    std::string err_path = temp_path();
    Argv argv(args);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDONLY);
        int out = open(out_path.c_str(), O_WRONLY | O_TRUNC);
        int err = open(err_path.c_str(), O_WRONLY | O_TRUNC);
        dup2(null, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        argv.exec();
    }
    int code = wait_for(pid, timeout);
    if (code == -2) code = kill_and_reap(pid);
    ChildResult result{code, read_whole_file(out_path), read_whole_file(err_path)};
    unlink(out_path.c_str());
    unlink(err_path.c_str());
    return result;
}

PipedChild::PipedChild(const std::vector<std::string>& args) {
    int to_child[2];
    int from_child[2];
    if (pipe2(to_child, O_CLOEXEC) != 0) return;
    if (pipe2(from_child, O_CLOEXEC) != 0) {
        close(to_child[0]);
        close(to_child[1]);
        return;
    }
    Argv argv(args);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(to_child[0], STDIN_FILENO);
        dup2(from_child[1], STDOUT_FILENO);
        argv.exec();
    }
    close(to_child[0]);
    close(from_child[1]);
    in_ = to_child[1];
    out_ = from_child[0];
}

PipedChild::~PipedChild() {
    if (pid_ > 0 && finish(3s) == -2) kill_and_reap(pid_);
    if (out_ >= 0) close(out_);
}

bool PipedChild::read_line(std::string& line, std::chrono::milliseconds timeout) {
    auto give_up = Clock::now() + timeout;
    for (;;) {
        size_t end = pending_.find('\n');
        if (end != std::string::npos) {
            line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            return true;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(give_up - Clock::now()).count();
        if (left <= 0 || out_ < 0) return false;
        pollfd p{out_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        char buffer[4096];
        ssize_t got = read(out_, buffer, sizeof buffer);
        if (got <= 0) return false;
        pending_.append(buffer, static_cast<size_t>(got));
    }
}

int PipedChild::finish(std::chrono::milliseconds timeout) {
    if (in_ >= 0) {
        close(in_);
        in_ = -1;
    }
    if (pid_ <= 0) return -1;
    int code = wait_for(pid_, timeout);
    if (code != -2) pid_ = -1;
    return code;
}

PtyChild::PtyChild(const std::vector<std::string>& args, int columns, int rows) {
    winsize size{};
    size.ws_col = static_cast<unsigned short>(columns);
    size.ws_row = static_cast<unsigned short>(rows);
    Argv argv(args);
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ == 0) argv.exec();
    if (master_ >= 0) fcntl(master_, F_SETFD, FD_CLOEXEC);
}

PtyChild::~PtyChild() {
    if (pid_ > 0 && wait_exit(100ms) == -2) kill_and_reap(pid_);
    if (master_ >= 0) close(master_);
}

void PtyChild::send(const std::string& keys) {
    if (master_ >= 0) (void)!write(master_, keys.data(), keys.size());
}

void PtyChild::read_more(std::chrono::milliseconds wait) {
    if (master_ < 0) return;
    pollfd p{master_, POLLIN, 0};
    int timeout = static_cast<int>(wait.count());
    while (poll(&p, 1, timeout) > 0 && (p.revents & POLLIN)) {
        char buffer[4096];
        ssize_t got = read(master_, buffer, sizeof buffer);
        if (got <= 0) break;  // EIO once the child and its terminal are gone
        output_.append(buffer, static_cast<size_t>(got));
        timeout = 0;
    }
}

bool PtyChild::wait_for(const std::string& text, std::chrono::milliseconds timeout, size_t mark) {
    auto give_up = Clock::now() + timeout;
    for (;;) {
        if (output_.size() > mark && output_.find(text, mark) != std::string::npos) return true;
        if (Clock::now() >= give_up) return false;
        read_more(20ms);
    }
}

const std::string& PtyChild::output() {
    read_more(0ms);
    return output_;
}

std::string PtyChild::last_line_with(const std::string& text) {
    const std::string& all = output();
    size_t at = all.rfind(text);
    if (at == std::string::npos) return "";
    size_t start = all.find_last_of("\r\n", at);
    start = start == std::string::npos ? 0 : start + 1;
    size_t end = all.find_first_of("\r\n\033", at);
    std::string line = all.substr(start, end == std::string::npos ? std::string::npos : end - start);
    // The redraw's clear-to-end-of-line sequence comes before the text.
    size_t clear = line.rfind("\033[K");
    return clear == std::string::npos ? line : line.substr(clear + 3);
}

int PtyChild::wait_exit(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return -1;
    auto give_up = Clock::now() + timeout;
    for (;;) {
        read_more(5ms);  // a child blocked on a full terminal would never end
        int status;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            read_more(20ms);
            return exit_code_of(status);
        }
        if (Clock::now() >= give_up) return -2;
    }
}

termios PtyChild::modes() const {
    termios modes{};
    tcgetattr(master_, &modes);
    return modes;
}

namespace {

// jackd with the dummy driver under name, its output thrown away.
pid_t start_jackd(const std::string& name) {
    // Synchronous mode (-S): the server waits for every client in each cycle.
    // In its default mode a client that misses the cycle, as happens on a busy
    // test machine without real-time scheduling, loses that cycle's MIDI, and
    // the tests would see frames vanish that the player did send.
    Argv argv({"jackd", "-S", "--no-realtime", "-n", name, "-d", "dummy", "-r", "48000", "-p", "256"});
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        argv.exec();
    }
    return pid;
}

// JACK's shared registry holds eight servers. A server that ends cleanly
// frees its entry; a killed one keeps it until a server of the same name
// registers again, so after eight killed servers no JACK server starts on
// the machine at all. A killed server's name is therefore registered once
// more and let go cleanly.
void release_killed_server_name(const std::string& name) {
    pid_t pid = start_jackd(name);
    if (pid <= 0) return;
    for (int i = 0; i < 100; ++i) {
        if (run_child({"jack_lsp"}, std::chrono::seconds(5)).exit_code == 0) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid, SIGTERM);
    if (wait_for(pid, std::chrono::seconds(5)) == -2) kill_and_reap(pid);
}

}  // namespace

JackServer::JackServer() : name_("zarvel-cli-test-" + std::to_string(getpid())) {
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    pid_ = start_jackd(name_);
}

JackServer::~JackServer() {
    if (killed_) release_killed_server_name(name_);
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        if (wait_for(pid_, 5s) == -2) kill_and_reap(pid_);
    }
    unsetenv("JACK_DEFAULT_SERVER");
}

void JackServer::kill_now() {
    if (pid_ <= 0) return;
    kill_and_reap(pid_);
    pid_ = -1;
    killed_ = true;
}

bool JackServer::running() { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

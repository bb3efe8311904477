#include "cli/render_workers.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "cli/exit_codes.h"

namespace {

constexpr int stopping_signals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int stopping_signal_count = sizeof stopping_signals / sizeof stopping_signals[0];

volatile std::sig_atomic_t stop_signal = 0;
int wake_pipe[2] = {-1, -1};  // the handler's byte ends the wait for the workers

void note_stop_signal(int signal) {
    stop_signal = signal;
    int saved = errno;
    if (wake_pipe[1] >= 0) (void)!write(wake_pipe[1], "", 1);
    errno = saved;
}

// The stopping signals caught while it lives, except those the program was
// started with ignored; as they were afterwards, and in every worker.
class StopSignals {
public:
    StopSignals() {
        stop_signal = 0;
        if (pipe(wake_pipe) == 0) {
            for (int end : wake_pipe) fcntl(end, F_SETFD, FD_CLOEXEC), fcntl(end, F_SETFL, O_NONBLOCK);
        }
        for (int i = 0; i < stopping_signal_count; ++i) {
            sigaction(stopping_signals[i], nullptr, &before_[i]);
            if (before_[i].sa_handler == SIG_IGN) continue;
            struct sigaction action {};
            action.sa_handler = note_stop_signal;
            sigemptyset(&action.sa_mask);
            sigaction(stopping_signals[i], &action, nullptr);
        }
    }
    ~StopSignals() {
        restore();
        for (int& end : wake_pipe) {
            if (end >= 0) close(end);
            end = -1;
        }
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;
    // In a worker: the signals act as they did, so that its unfinished file
    // is removed and it ends.
    void restore() {
        for (int i = 0; i < stopping_signal_count; ++i) sigaction(stopping_signals[i], &before_[i], nullptr);
    }
    int wake_fd() const { return wake_pipe[0]; }

private:
    struct sigaction before_[stopping_signal_count];
};

struct Running {
    int index;
    pid_t pid;
    std::string output;  // stdout's text, a zero byte, stderr's text
};

// The child: renders into memory, then writes it all to the pipe at once,
// so that lines of parallel workers never mix.
[[noreturn]] void work(int index, int pipe_out,
                       const std::function<int(int i, std::FILE* out, std::FILE* err)>& render) {
    char* out_text = nullptr;
    char* err_text = nullptr;
    size_t out_size = 0;
    size_t err_size = 0;
    std::FILE* out = open_memstream(&out_text, &out_size);
    std::FILE* err = open_memstream(&err_text, &err_size);
    int code = out && err ? render(index, out, err) : EXIT_DEVICE_FAILED;
    if (out) std::fclose(out);
    if (err) std::fclose(err);
    std::string text(out_text ? out_text : "", out_size);
    text += '\0';
    text.append(err_text ? err_text : "", err_size);
    for (size_t at = 0; at < text.size();) {
        ssize_t n = write(pipe_out, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        at += static_cast<size_t>(n);
    }
    // No exit handlers or stdio flushes: they belong to the parent.
    _exit(code);
}

// passed_on: the signal this process passed to its workers, which ends
// them without a word (0: none).
int finish(Running& job, const std::function<std::string(int i)>& name, int passed_on, std::FILE* out,
           std::FILE* err) {
    int status = 0;
    while (waitpid(job.pid, &status, 0) < 0 && errno == EINTR) {
    }
    size_t split = job.output.find('\0');
    std::fputs(job.output.substr(0, split).c_str(), out);
    if (split != std::string::npos) std::fputs(job.output.substr(split + 1).c_str(), err);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (passed_on != 0 && WTERMSIG(status) == passed_on) return render_not_run;
    std::fprintf(err, "zarvel-cli: %s: the render's worker process ended by signal %d (%s)\n", name(job.index).c_str(),
                 WTERMSIG(status), strsignal(WTERMSIG(status)));
    return EXIT_DEVICE_FAILED;
}

}  // namespace

std::vector<int> run_in_workers(int count, int workers,
                                const std::function<int(int i, std::FILE* out, std::FILE* err)>& render,
                                const std::function<std::string(int i)>& name,
                                const std::function<bool(int code)>& ends_all, RunStop& stop, std::FILE* out,
                                std::FILE* err) {
    std::vector<int> codes(count, render_not_run);
    stop = RunStop{};
    StopSignals signals;
    auto stopped = [&] {
        if (stop_signal) stop.signal = stop_signal;
        return stop.signal != 0 || stop.stopping_render >= 0;
    };
    auto ended = [&](int i, int code) {
        codes[i] = code;
        if (ends_all(code) && stop.stopping_render < 0) stop.stopping_render = i;
    };
    if (workers <= 1) {
        for (int i = 0; i < count && !stopped(); ++i) ended(i, render(i, out, err));
        return codes;
    }

    std::map<int, Running> running;  // by the read end of its pipe
    int next = 0;
    bool passed_on = false;  // the signal, to the running workers
    while ((next < count && !stopped()) || !running.empty()) {
        if (stopped() && stop.signal && !passed_on) {
            for (auto& [fd, job] : running) kill(job.pid, stop.signal);
            passed_on = true;
        }
        while (next < count && !stopped() && static_cast<int>(running.size()) < workers) {
            int ends[2];
            if (pipe(ends) != 0) {
                std::fprintf(err, "zarvel-cli: %s: cannot start a worker: %s\n", name(next).c_str(),
                             std::strerror(errno));
                ended(next++, EXIT_DEVICE_FAILED);
                continue;
            }
            std::fflush(out);
            std::fflush(err);
            pid_t pid = fork();
            if (pid == 0) {
                signals.restore();
                close(ends[0]);
                for (auto& [fd, job] : running) close(fd);
                work(next, ends[1], render);
            }
            close(ends[1]);
            if (pid < 0) {
                std::fprintf(err, "zarvel-cli: %s: cannot start a worker: %s\n", name(next).c_str(),
                             std::strerror(errno));
                close(ends[0]);
                ended(next, EXIT_DEVICE_FAILED);
            } else {
                running[ends[0]] = Running{next, pid, {}};
            }
            ++next;
        }
        if (running.empty()) continue;

        std::vector<pollfd> fds;
        for (auto& [fd, job] : running) fds.push_back({fd, POLLIN, 0});
        if (signals.wake_fd() >= 0) fds.push_back({signals.wake_fd(), POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            // EINTR, or a short ENOMEM: the workers are still there to wait for.
            usleep(1000);
            continue;
        }
        for (const pollfd& p : fds) {
            if (p.revents == 0) continue;
            char buffer[4096];
            if (p.fd == signals.wake_fd()) {
                while (read(p.fd, buffer, sizeof buffer) > 0) {
                }
                continue;
            }
            ssize_t n = read(p.fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            Running& job = running[p.fd];
            if (n > 0) {
                job.output.append(buffer, static_cast<size_t>(n));
                continue;
            }
            close(p.fd);
            ended(job.index, finish(job, name, passed_on ? stop.signal : 0, out, err));
            running.erase(p.fd);
        }
    }
    return codes;
}

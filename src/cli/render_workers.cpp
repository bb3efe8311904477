#include "cli/render_workers.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "cli/exit_codes.h"

namespace {

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

int finish(Running& job, const std::function<std::string(int i)>& name, std::FILE* out, std::FILE* err) {
    int status = 0;
    while (waitpid(job.pid, &status, 0) < 0 && errno == EINTR) {
    }
    size_t split = job.output.find('\0');
    std::fputs(job.output.substr(0, split).c_str(), out);
    if (split != std::string::npos) std::fputs(job.output.substr(split + 1).c_str(), err);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    std::fprintf(err, "zarvel-cli: %s: the render's worker process ended by signal %d (%s)\n", name(job.index).c_str(),
                 WTERMSIG(status), strsignal(WTERMSIG(status)));
    return EXIT_DEVICE_FAILED;
}

}  // namespace

std::vector<int> run_in_workers(int count, int workers,
                                const std::function<int(int i, std::FILE* out, std::FILE* err)>& render,
                                const std::function<std::string(int i)>& name, std::FILE* out, std::FILE* err) {
    std::vector<int> codes(count, EXIT_OK);
    if (workers <= 1) {
        for (int i = 0; i < count; ++i) codes[i] = render(i, out, err);
        return codes;
    }

    std::map<int, Running> running;  // by the read end of its pipe
    int next = 0;
    while (next < count || !running.empty()) {
        while (next < count && static_cast<int>(running.size()) < workers) {
            int ends[2];
            if (pipe(ends) != 0) {
                std::fprintf(err, "zarvel-cli: %s: cannot start a worker: %s\n", name(next).c_str(),
                             std::strerror(errno));
                codes[next++] = EXIT_DEVICE_FAILED;
                continue;
            }
            std::fflush(out);
            std::fflush(err);
            pid_t pid = fork();
            if (pid == 0) {
                close(ends[0]);
                for (auto& [fd, job] : running) close(fd);
                work(next, ends[1], render);
            }
            close(ends[1]);
            if (pid < 0) {
                std::fprintf(err, "zarvel-cli: %s: cannot start a worker: %s\n", name(next).c_str(),
                             std::strerror(errno));
                close(ends[0]);
                codes[next] = EXIT_DEVICE_FAILED;
            } else {
                running[ends[0]] = Running{next, pid, {}};
            }
            ++next;
        }
        if (running.empty()) continue;

        std::vector<pollfd> fds;
        for (auto& [fd, job] : running) fds.push_back({fd, POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            // EINTR, or a short ENOMEM: the workers are still there to wait for.
            usleep(1000);
            continue;
        }
        for (const pollfd& p : fds) {
            if (p.revents == 0) continue;
            char buffer[4096];
            ssize_t n = read(p.fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            Running& job = running[p.fd];
            if (n > 0) {
                job.output.append(buffer, static_cast<size_t>(n));
                continue;
            }
            close(p.fd);
            codes[job.index] = finish(job, name, out, err);
            running.erase(p.fd);
        }
    }
    return codes;
}

#pragma once
// Processes that spin for as long as they live, at normal priority: the load
// of a busy machine beside the player. Started by the constructor, killed by
// the destructor.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <vector>

class BusyProcesses {
public:
    explicit BusyProcesses(int count) {
        std::fflush(stdout);
        for (int i = 0; i < count; ++i) {
            pid_t pid = fork();
            if (pid == 0) {
                std::atomic<unsigned long> spin{0};
                for (;;) spin.fetch_add(1, std::memory_order_relaxed);
            }
            if (pid > 0) pids_.push_back(pid);
        }
    }
    ~BusyProcesses() {
        for (pid_t pid : pids_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    BusyProcesses(const BusyProcesses&) = delete;
    BusyProcesses& operator=(const BusyProcesses&) = delete;

private:
    std::vector<pid_t> pids_;
};

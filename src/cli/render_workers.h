#pragma once
// Renders many songs in worker processes: the player's state is one per
// process by design, so parallel renders are parallel processes. Each
// worker is a fork of this process that renders one song and hands back
// what it printed.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// The code of a render that was never run: the work stopped before it.
constexpr int render_not_run = -1;

// How a run of renders ended early: by a signal (its number), or because a
// render's code said that none after it can succeed (a full disk).
struct RunStop {
    int signal = 0;
    int stopping_render = -1;  // its index
};

// Runs render(i, out, err) for i in 0..count-1, at most workers at a time,
// each in a child process (workers 1: here, one after another). What each
// printed is copied to out and err as a whole when it ends, in the order
// they end. Returns each one's code (0..255, or render_not_run). A worker
// that dies is reported on err as "zarvel-cli: name(i): ..." and gets
// EXIT_DEVICE_FAILED.
//
// No render starts after one whose code ends_all says so. SIGINT, SIGTERM
// and SIGHUP (unless ignored) start no more renders either: each running
// worker gets the same signal, which removes its unfinished file, and is
// waited for; a render in this process finishes its song. stop says why.
std::vector<int> run_in_workers(int count, int workers,
                                const std::function<int(int i, std::FILE* out, std::FILE* err)>& render,
                                const std::function<std::string(int i)>& name,
                                const std::function<bool(int code)>& ends_all, RunStop& stop, std::FILE* out,
                                std::FILE* err);

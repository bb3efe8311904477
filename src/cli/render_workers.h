#pragma once
// Renders many songs in worker processes: the player's state is one per
// process by design, so parallel renders are parallel processes. Each
// worker is a fork of this process that renders one song and hands back
// what it printed.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Runs render(i, out, err) for i in 0..count-1, at most workers at a time,
// each in a child process (workers 1: here, one after another). What each
// printed is copied to out and err as a whole when it ends, in the order
// they end. Returns each one's code (0..255). A worker that dies is reported
// on err as "zarvel-cli: name(i): ..." and gets EXIT_DEVICE_FAILED.
std::vector<int> run_in_workers(int count, int workers,
                                const std::function<int(int i, std::FILE* out, std::FILE* err)>& render,
                                const std::function<std::string(int i)>& name, std::FILE* out, std::FILE* err);

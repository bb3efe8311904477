// One play step as the stream callback runs it (queue the buffer, encode the
// previous call's frame, run the play routine), timed over 10,000 steps of
// each test tune; a seek a minute forward on demo.sid; and the encoder alone
// on a full log.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "cpu/sid_write_log.h"
#include "headless/headless_player.h"
#include "midi/register_frame.h"
#include "midi/stream_transport.h"
#include "platform/stream_engine.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/tune_info.h"

namespace {

void print_play_steps(const std::filesystem::path& tune, int song_count) {
    for (int song = 1; song <= song_count; ++song) {
        HeadlessPlayer player(16384);
        if (player.load(tune.string()) != LOAD_OK) return;
        player.choose_song(song);
        player.play();
        std::vector<double> step_us;
        step_us.reserve(10000);
        for (int i = 0; i < 10000; ++i) {
            auto start = std::chrono::steady_clock::now();
            if (!stream_engine::advance_to_next_event()) break;
            step_us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
            if (i % 4096 == 4095) player.sink()->clear();
        }
        if (step_us.empty()) continue;
        std::vector<double> sorted = step_us;
        std::sort(sorted.begin(), sorted.end());
        std::printf("play_step %s song %d: median_us %.2f worst_us %.1f over %zu steps\n",
                    tune.filename().c_str(), song, sorted[sorted.size() / 2], sorted.back(), sorted.size());
    }
}

// A seek a minute forward from the start of demo.sid: the request taken by a
// worker pass, 3,000 play calls without frames, the state frame. The pass's
// own 10 ms of virtual time play a pacing step or two; they cost microseconds.
// Target: under 20 ms.
void print_seek_minute(const std::filesystem::path& tune) {
    constexpr int runs = 9;
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        HeadlessPlayer player(4096);
        if (player.load(tune.string()) != LOAD_OK) return;
        player.play();
        auto start = std::chrono::steady_clock::now();
        player.seek_to(60000);
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        // 3,000 calls at 50 Hz, or the seek did not happen: no figure.
        if (player_state.song_time_ms < 60000) return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("seek_minute_ms %s: median %.2f worst %.2f over %d seeks (target under 20)\n",
                tune.filename().c_str(), ms[runs / 2], ms.back(), runs);
}

void BM_EncodeFullLog(benchmark::State& state) {
    for (int i = 0; i < 126; ++i) {
        sid_write_log.registers[i] = i % 29;
        sid_write_log.values[i] = static_cast<uint8_t>(i * 37);
    }
    sid_write_log.registers[126] = -1;
    for (auto _ : state) {
        reset_stream_ring();
        benchmark::DoNotOptimize(encode_register_frame({100, {1, 1, 1, 1}}));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EncodeFullLog);

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path tunes = ZARVEL_TUNES_DIR;
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(tunes)) {
        for (auto& entry : std::filesystem::directory_iterator(tunes))
            if (entry.path().extension() == ".sid") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (auto& file : files) {
        if (load_psid(file.c_str()) != LOAD_OK) continue;
        print_play_steps(file, std::min<int>(tune_info.songs, 3));
    }
    print_seek_minute(tunes / "demo.sid");
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}

// Speed of the 6502 core. The play-loop workload (play_loop.lst) stands for a
// busy play routine: one call runs 196,617 instructions. The abandoned call
// is the most a single call can ever cost: 200,002 instructions of a JMP to
// itself, which the stream callback must still survive once per play period.
//
// Besides Google Benchmark's own table it prints two lines, each the median of
// five repetitions, since the machine may be shared:
//   play_loop MIPS <n>     million instructions per second, wall-clock time
//   worst_call_ms <x>      wall-clock milliseconds of one abandoned call
// and the same two figures by CPU time, which a busy shared machine disturbs
// less than the wall clock.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cpu/cpu_call.h"

namespace {

constexpr int32_t play_loop_instructions = 196617;
constexpr int32_t abandoned_call_instructions = step_limit + 2;

void clear_machine() {
    std::memset(memory_image.bytes, 0, sizeof memory_image.bytes);
    cpu_state = CpuState{};
    cpu_reset();
}

bool load_play_loop() {
    std::FILE* file = std::fopen(ZARVEL_PLAY_LOOP_BIN, "rb");
    if (!file) return false;
    const size_t size = std::fread(memory_image.bytes + 0x1000, 1, 0x1000, file);
    std::fclose(file);
    return size == 243;
}

void play_loop(benchmark::State& state) {
    clear_machine();
    if (!load_play_loop()) {
        state.SkipWithError("cannot read " ZARVEL_PLAY_LOOP_BIN);
        return;
    }
    for (auto _ : state) {
        const int result = cpu_call(0x1000);
        // A call that ends early would make the figure meaningless.
        if (result != CPU_RETURNED || cpu_instructions_executed != play_loop_instructions) {
            state.SkipWithError("the play loop did not run its whole workload");
            break;
        }
    }
    state.counters["instructions"] = benchmark::Counter(
        static_cast<double>(play_loop_instructions) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}
BENCHMARK(play_loop)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(5);

void abandoned_call(benchmark::State& state) {
    clear_machine();
    const uint8_t jump_to_itself[] = {0x4C, 0x00, 0x10};  // 1000 JMP $1000
    std::memcpy(memory_image.bytes + 0x1000, jump_to_itself, sizeof jump_to_itself);
    for (auto _ : state) {
        // Each abandoned call leaves its return address on the stack; sp
        // wraps within page 0x0100, so repeating it is harmless.
        const int result = cpu_call(0x1000);
        if (result != CPU_ABANDONED || cpu_instructions_executed != abandoned_call_instructions) {
            state.SkipWithError("the endless loop was not abandoned at the step limit");
            break;
        }
    }
}
BENCHMARK(abandoned_call)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.3)->Repetitions(5);

// Keeps the wall-clock seconds per call of every measured run, by benchmark.
class FigureReporter : public benchmark::ConsoleReporter {
public:
    std::vector<double> play_loop_seconds, abandoned_call_seconds;        // wall clock
    std::vector<double> play_loop_cpu_seconds, abandoned_call_cpu_seconds;
    bool failed = false;

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) failed = true;
            if (run.error_occurred || run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
            const double calls = static_cast<double>(run.iterations);
            if (run.run_name.function_name == "play_loop") {
                play_loop_seconds.push_back(run.real_accumulated_time / calls);
                play_loop_cpu_seconds.push_back(run.cpu_accumulated_time / calls);
            }
            if (run.run_name.function_name == "abandoned_call") {
                abandoned_call_seconds.push_back(run.real_accumulated_time / calls);
                abandoned_call_cpu_seconds.push_back(run.cpu_accumulated_time / calls);
            }
        }
    }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    FigureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    if (!reporter.play_loop_seconds.empty()) {
        std::printf("play_loop MIPS %.0f\n", play_loop_instructions / median(reporter.play_loop_seconds) / 1e6);
        std::printf("play_loop cpu_time MIPS %.0f\n",
                    play_loop_instructions / median(reporter.play_loop_cpu_seconds) / 1e6);
    }
    if (!reporter.abandoned_call_seconds.empty()) {
        std::printf("worst_call_ms %.3f\n", median(reporter.abandoned_call_seconds) * 1e3);
        std::printf("worst_call cpu_time_ms %.3f\n", median(reporter.abandoned_call_cpu_seconds) * 1e3);
    }
    return reporter.failed ? 1 : 0;
}

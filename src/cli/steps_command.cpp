#include "cli/steps_command.h"

#include <CLI/CLI.hpp>
#include <climits>

#include "cli/exit_codes.h"
#include "cli/header_text.h"
#include "cli/json_line.h"
#include "cli/tune_options.h"
#include "cpu/cpu_call.h"
#include "midi/play_period.h"
#include "player/machine_tune.h"
#include "player/play_rate.h"
#include "player/playback_stop.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/tune_driver.h"
#include "player/tune_info.h"

namespace {

constexpr int max_count = 1000000;
constexpr int rate_decimals = 3;  // as info shows it: 50.125 Hz for a PAL frame

int writes_in_log() {
    int writes = 0;
    while (sid_write_log.registers[writes] != -1) ++writes;
    return writes;
}

void print_writes(std::FILE* out, int writes) {
    std::fprintf(out, "%d write%s%s", writes, writes == 1 ? "" : "s", writes ? ":" : "");
    for (int i = 0; i < writes; ++i)
        std::fprintf(out, " %02X=%02X", sid_write_log.registers[i], sid_write_log.values[i]);
    std::fputc('\n', out);
}

// One line per call: what became of it and after how many instructions, the
// play rate after it, and its SID writes in store order as register=value,
// both in hex.
void print_call(std::FILE* out, const char* what, CpuCallResult result) {
    std::fprintf(out, "%s: %s (%d instructions), %s Hz, ", what, result == CPU_RETURNED ? "returned" : "abandoned",
                 cpu_instructions_executed, decimal_text(play_rate_exact_hz(), rate_decimals).c_str());
    print_writes(out, writes_in_log());
}

// A tune that drives itself has no calls to count: one line per step of the
// machine, each to its next frame (at most a video frame on), with the frame's
// machine time, its distance from the frame before as a rate, and its stores.
void print_machine_step(std::FILE* out, const char* what, CpuCallResult result, uint64_t frame_before) {
    int writes = writes_in_log();
    uint64_t at = machine_tune_report().step_end;
    if (result != CPU_RETURNED) {
        std::fprintf(out, "%s: jammed at cycle %llu, ", what, static_cast<unsigned long long>(at));
    } else if (writes == 0) {
        std::fprintf(out, "%s: no frame by cycle %llu, ", what, static_cast<unsigned long long>(at));
    } else {
        uint64_t gap = at - frame_before;
        std::string hz = gap ? decimal_text(static_cast<double>(machine_tune_clock_hz()) / gap, rate_decimals) : "-";
        std::fprintf(out, "%s: frame at cycle %llu (+%llu, %s Hz), ", what, static_cast<unsigned long long>(at),
                     static_cast<unsigned long long>(gap), hz.c_str());
    }
    print_writes(out, writes);
}

}  // namespace

void add_steps_command(CLI::App& app, StepsOptions& options) {
    CLI::App* steps = app.add_subcommand(
        "steps", "Load a tune, print its header, then run its init routine and the first play calls, "
                 "printing each call's SID register writes (register=value, hex; a second SID's registers from 20, "
                 "a third's from 40) and the play rate; a tune that drives itself runs on the machine, a step to each "
                 "of its register frames, shown with its machine time");
    add_tune_options(*steps, options.tune);
    steps->add_option("--count", options.count, "play calls (or machine steps) to run after the init")
        ->check(whole_number_validator(0, max_count))
        ->capture_default_str();
}

int run_steps(const StepsOptions& options, std::FILE* out, std::FILE* err) {
    if (int code = load_command_tune(options.tune, load_psid, err); code != EXIT_OK) return code;
    if (options.count < 0 || options.count > max_count) {
        std::fprintf(err, "zarvel-cli: --count %d is not in 0..%d\n", options.count, max_count);
        return EXIT_USAGE;
    }
    print_tune_header(out, options.tune.tune);

    int song = chosen_song(options.tune);
    player_state.current_song = song;
    const bool on_machine = tune_drives_itself(tune_info);
    CpuCallResult init_result = init_tune();
    std::fputc('\n', out);
    char what[32];
    std::snprintf(what, sizeof what, on_machine ? "start song %d" : "init song %d", song);
    uint64_t frame_before = 0;
    if (on_machine) {
        std::fprintf(out, "drives itself: each step runs the machine to its next frame\n");
        print_machine_step(out, what, init_result, frame_before);
        if (writes_in_log()) frame_before = machine_tune_report().step_end;
    } else {
        print_call(out, what, init_result);
    }

    // The song time of each call, as the stream would time it: the first
    // buffer and the one queued before play call 1 both go out at the
    // init's rate, and each later one at the rate the call before left.
    PlayPeriod period;
    uint64_t call_ticks = period.next_ticks(current_play_period());
    PlayPeriodLength period_of_next_buffer = current_play_period();
    // Output that cannot be written ends the calls early; main reports it.
    for (int call = 1; call <= options.count && !std::ferror(out); ++call) {
        CpuCallResult result = play_call();
        std::snprintf(what, sizeof what, on_machine ? "step %d" : "play %d", call);
        if (on_machine) {
            print_machine_step(out, what, result, frame_before);
            if (writes_in_log()) frame_before = machine_tune_report().step_end;
        } else {
            print_call(out, what, result);
        }
        if (result != CPU_RETURNED) {
            report_playback_stop(err, static_cast<int32_t>(call_ticks < INT32_MAX ? call_ticks : INT32_MAX), false,
                                 options.tune.tune);
            return EXIT_PLAYBACK_STOPPED;
        }
        call_ticks += period.next_ticks(period_of_next_buffer);
        period_of_next_buffer = current_play_period();
    }
    return EXIT_OK;
}

#include "cli/steps_command.h"

#include <CLI/CLI.hpp>
#include <climits>

#include "cli/exit_codes.h"
#include "cli/header_text.h"
#include "cli/json_line.h"
#include "cli/tune_options.h"
#include "cpu/cpu_call.h"
#include "midi/play_period.h"
#include "player/play_rate.h"
#include "player/playback_stop.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/tune_driver.h"
#include "player/tune_info.h"

namespace {

constexpr int max_count = 1000000;
constexpr int rate_decimals = 3;  // as info shows it: 50.125 Hz for a PAL frame

// One line per call: what became of it and after how many instructions, the
// play rate after it, and its SID writes in store order as register=value,
// both in hex.
void print_call(std::FILE* out, const char* what, CpuCallResult result) {
    int writes = 0;
    while (sid_write_log.registers[writes] != -1) ++writes;
    std::fprintf(out, "%s: %s (%d instructions), %s Hz, %d write%s%s", what,
                 result == CPU_RETURNED ? "returned" : "abandoned", cpu_instructions_executed,
                 decimal_text(play_rate_exact_hz(), rate_decimals).c_str(), writes, writes == 1 ? "" : "s",
                 writes ? ":" : "");
    for (int i = 0; i < writes; ++i)
        std::fprintf(out, " %02X=%02X", sid_write_log.registers[i], sid_write_log.values[i]);
    std::fputc('\n', out);
}

}  // namespace

void add_steps_command(CLI::App& app, StepsOptions& options) {
    CLI::App* steps = app.add_subcommand(
        "steps", "Load a tune, print its header, then run its init routine and the first play calls, "
                 "printing each call's SID register writes (register=value, hex) and the play rate");
    add_tune_options(*steps, options.tune);
    steps->add_option("--count", options.count, "play calls to run after the init")
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
    CpuCallResult init_result = init_tune();
    std::fputc('\n', out);
    if (tune_info.irq_mode)
        std::fprintf(out, "play address 0x%04X, from the interrupt vectors after the init\n",
                     tune_info.play_address);
    char what[32];
    std::snprintf(what, sizeof what, "init song %d", song);
    print_call(out, what, init_result);

    // The song time of each call, as the stream would time it: the first
    // buffer and the one queued before play call 1 both go out at the
    // init's rate, and each later one at the rate the call before left.
    PlayPeriod period;
    uint64_t call_ticks = period.next_ticks(current_play_period());
    PlayPeriodLength period_of_next_buffer = current_play_period();
    // Output that cannot be written ends the calls early; main reports it.
    for (int call = 1; call <= options.count && !std::ferror(out); ++call) {
        CpuCallResult result = play_call();
        std::snprintf(what, sizeof what, "play %d", call);
        print_call(out, what, result);
        if (result != CPU_RETURNED) {
            report_playback_stop(err, static_cast<int32_t>(call_ticks < INT32_MAX ? call_ticks : INT32_MAX));
            return EXIT_PLAYBACK_STOPPED;
        }
        call_ticks += period.next_ticks(period_of_next_buffer);
        period_of_next_buffer = current_play_period();
    }
    return EXIT_OK;
}

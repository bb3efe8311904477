#include "cli/info_command.h"

#include <CLI/CLI.hpp>
#include <cstring>

#include "cli/exit_codes.h"
#include "cli/header_text.h"
#include "cli/tune_options.h"
#include "cpu/cpu_call.h"
#include "player/player_state.h"
#include "player/psid_loader.h"
#include "player/tune_driver.h"
#include "player/tune_info.h"

namespace {

// A PSID tune has at most 256 songs; a header that claims more still gets
// its first 256 run, so that a damaged count cannot keep the command busy for
// minutes of abandoned inits.
constexpr int songs_run_at_most = 256;

}  // namespace

void add_info_command(CLI::App& app, InfoOptions& options) {
    CLI::App* info = app.add_subcommand(
        "info", "Print a tune's header fields and texts, its songs and start song, and the play rate each "
                "song gets after its init routine");
    info->add_option("TUNE", options.tune, "PSID file")->required();
}

int run_info(const InfoOptions& options, std::FILE* out, std::FILE* err) {
    TuneOptions tune;
    tune.tune = options.tune;
    if (int code = load_command_tune(tune, load_psid, err); code != EXIT_OK) return code;
    print_tune_header(out, options.tune);
    std::fputc('\n', out);

    int songs = tune_info.songs < songs_run_at_most ? tune_info.songs : songs_run_at_most;
    for (int song = 1; song <= songs; ++song) {
        // Each song from a fresh image and CPU, as a start after loading
        // would find them: an init may change the tune's own variables, and an
        // interrupt-driven tune resolves its play address at the first init.
        if (load_psid(options.tune.c_str()) != LOAD_OK) {
            report_load_failure(err, options.tune, LOAD_CANNOT_OPEN);
            return EXIT_LOAD_FAILED;
        }
        std::memset(&cpu_state, 0, sizeof cpu_state);
        player_state.current_song = song;
        CpuCallResult result = init_tune();
        std::fprintf(out, "song %d: %i Hz%s%s\n", song, player_state.play_rate_hz.load(),
                     song == tune_info.start_song ? " (start song)" : "",
                     result == CPU_ABANDONED ? " (the init routine did not return)" : "");
    }
    if (tune_info.songs > songs)
        std::fprintf(out, "songs %d to %u: not run (a tune has at most %d)\n", songs + 1, tune_info.songs,
                     songs_run_at_most);
    return EXIT_OK;
}

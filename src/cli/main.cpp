// zarvel-cli: Zarvel's command line. Each command lives in its own file and
// adds itself to the parser here.
#include <CLI/CLI.hpp>

#include "cli/exit_codes.h"
#include "cli/steps_command.h"

int main(int argc, char** argv) {
    CLI::App app{"Zarvel: Commodore 64 PSID tunes for a SID synthesizer", "zarvel-cli"};
    app.require_subcommand(1);
    StepsOptions steps;
    add_steps_command(app, steps);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // --help is a parse "error" too, with exit code 0.
        return app.exit(error) == 0 ? EXIT_OK : EXIT_USAGE;
    }
    if (app.got_subcommand("steps")) return run_steps(steps, stdout, stderr);
    return EXIT_USAGE;
}

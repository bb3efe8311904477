// zarvel-cli: Zarvel's command line. Each command lives in its own file and
// adds itself to the parser here.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "cli/dump_command.h"
#include "cli/exit_codes.h"
#include "cli/info_command.h"
#include "cli/play_command.h"
#include "cli/ports_command.h"
#include "cli/render_command.h"
#include "cli/steps_command.h"

int main(int argc, char** argv) {
    CLI::App app{"Zarvel: Commodore 64 PSID tunes for a SID synthesizer", "zarvel-cli"};
    app.require_subcommand(0, 1);
    add_ports_command(app);
    InfoOptions info;
    add_info_command(app, info);
    PlayOptions play;
    add_play_command(app, play);
    DumpOptions dump;
    add_dump_command(app, dump);
    RenderOptions render;
    add_render_command(app, render);
    StepsOptions steps;
    add_steps_command(app, steps);

    // Set after the commands are added, so that they do not inherit it: a
    // word that is no command is reported below, in plain words.
    app.allow_extras();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // --help is a parse "error" too, with exit code 0.
        return app.exit(error) == 0 ? EXIT_OK : EXIT_USAGE;
    }
    if (app.get_subcommands().empty()) {
        if (app.remaining().empty()) {
            std::fputs("zarvel-cli: a command is required: ports, info, play, render, dump or steps (see --help)\n",
                       stderr);
        } else {
            std::fprintf(stderr, "zarvel-cli: %s is not a command: ports, info, play, render, dump or steps (see --help)\n",
                         app.remaining().front().c_str());
        }
        return EXIT_USAGE;
    }
    if (app.got_subcommand("ports")) return run_ports(stdout, stderr);
    if (app.got_subcommand("info")) return run_info(info, stdout, stderr);
    if (app.got_subcommand("play")) return run_play(play);
    if (app.got_subcommand("dump")) return run_dump(dump, stdout, stderr);
    if (app.got_subcommand("render")) return run_render(render, stdout, stderr);
    if (app.got_subcommand("steps")) return run_steps(steps, stdout, stderr);
    return EXIT_USAGE;
}

// zarvel-cli: Zarvel's command line. Each command lives in its own file and
// adds itself to the parser here.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>

#include "cli/dump_command.h"
#include "cli/exit_codes.h"
#include "cli/info_command.h"
#include "cli/play_command.h"
#include "cli/ports_command.h"
#include "cli/render_command.h"
#include "cli/steps_command.h"
#include "version.h"

namespace {

// The parser's complaint as every message of the program starts, with the
// help of the command it was about when the parser got that far.
std::string usage_message(const CLI::App* app, const CLI::Error& error) {
    std::vector<CLI::App*> commands = app->get_subcommands();
    std::string help = commands.empty() ? "--help" : commands.front()->get_name() + " --help";
    return std::string("zarvel-cli: ") + error.what() + " (see zarvel-cli " + help + ")\n";
}

// Output that never arrived (a full disk, a file size limit, a closed
// stdout) is a failure, not an exit 0 with the output quietly lost.
bool output_written(std::FILE* out, std::FILE* err) {
    errno = 0;
    if (std::fflush(out) == 0 && !std::ferror(out)) return true;
    std::fprintf(err, "zarvel-cli: cannot write to standard output: %s\n",
                 errno != 0 ? std::strerror(errno) : "a write failed");
    return false;
}

int run_command(const CLI::App& app, const InfoOptions& info, const PlayOptions& play, const DumpOptions& dump,
                const RenderOptions& render, const StepsOptions& steps) {
    if (app.got_subcommand("ports")) return run_ports(stdout, stderr);
    if (app.got_subcommand("info")) return run_info(info, stdout, stderr);
    if (app.got_subcommand("play")) return run_play(play);
    if (app.got_subcommand("dump")) return run_dump(dump, stdout, stderr);
    if (app.got_subcommand("render")) return run_render(render, stdout, stderr);
    if (app.got_subcommand("steps")) return run_steps(steps, stdout, stderr);
    return EXIT_USAGE;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Zarvel: Commodore 64 PSID tunes for a SID synthesizer", "zarvel-cli"};
    app.require_subcommand(0, 1);
    app.set_version_flag("--version", std::string("zarvel-cli ") + ZARVEL_VERSION, "Print the version and exit");
    app.failure_message(usage_message);
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
        // --help and --version are parse "errors" too, with exit code 0.
        // Their text goes out through stdout, whose failure is then told.
        std::ostringstream text;
        if (app.exit(error, text, std::cerr) != 0) return EXIT_USAGE;
        std::fputs(text.str().c_str(), stdout);
        return output_written(stdout, stderr) ? EXIT_OK : EXIT_DEVICE_FAILED;
    }
    if (app.get_subcommands().empty()) {
        if (app.remaining().empty()) {
            std::fputs("zarvel-cli: a command is required: ports, info, play, render, dump or steps "
                       "(see zarvel-cli --help)\n",
                       stderr);
        } else if (app.remaining().front()[0] == '-') {
            std::fprintf(stderr, "zarvel-cli: %s is not an option (see zarvel-cli --help)\n",
                         app.remaining().front().c_str());
        } else {
            std::fprintf(stderr,
                         "zarvel-cli: %s is not a command: ports, info, play, render, dump or steps "
                         "(see zarvel-cli --help)\n",
                         app.remaining().front().c_str());
        }
        return EXIT_USAGE;
    }
    // Past a file size limit a write fails with EFBIG, which is reported;
    // the signal's default would end the program without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    int code = run_command(app, info, play, dump, render, steps);
    if (code == EXIT_OK && !output_written(stdout, stderr)) code = EXIT_DEVICE_FAILED;
    return code;
}

// The `quillreel` command-line tool: one subcommand per job, parsed with CLI11.
#include "cli/command.h"
#include "quil_version.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <vector>

int main(int argc, char** argv) {
    CLI::App app{"Quillreel: movie databases for Palm OS handhelds.", "quillreel"};
    app.set_version_flag("--version", std::string("quillreel ") + QUIL_VERSION_TEXT);
    app.require_subcommand(1);

    std::vector<quil::cli::Command> commands;
    commands.push_back(quil::cli::addInfoCommand(app));
    commands.push_back(quil::cli::addEncodeCommand(app));
    commands.push_back(quil::cli::addExportCommand(app));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    for (const quil::cli::Command& command : commands) {
        if (command.app->parsed()) {
            const int status = command.run();
            std::cout.flush();
            if (!std::cout) {
                std::cerr << "quillreel: cannot write to standard output\n";
                return 1;
            }
            return status;
        }
    }
    return 1;
}

// The subcommands of the `quillreel` tool. Each one registers itself on the application and
// returns the function that runs it once the command line has been parsed.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace quil::cli {

struct Command {
    CLI::App* app = nullptr;
    std::function<int()> run;
};

Command addInfoCommand(CLI::App& parent);
Command addEncodeCommand(CLI::App& parent);
Command addExportCommand(CLI::App& parent);

} // namespace quil::cli

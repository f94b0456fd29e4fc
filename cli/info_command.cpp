// quillreel info MOVIE.pdb [--password TEXT]
#include "cli/command.h"
#include "cli/movieinfo.h"

#include <cerrno>
#include <iostream>
#include <memory>

namespace quil::cli {

namespace {

struct InfoArgs {
    std::string path;
    std::string password;
};

} // namespace

Command addInfoCommand(CLI::App& parent) {
    auto args = std::make_shared<InfoArgs>();
    CLI::App* sub = parent.add_subcommand(
        "info", "Show what a movie database holds: database header, movie header record and a "
                "summary of its frame and audio records");
    sub->footer("Exit status: 0 described, 1 unreadable or malformed, 2 unfinished movie "
                "(its record list was never written).");
    sub->add_option("movie", args->path, "The movie database (.pdb)")->required();
    CLI::Option* password = sub->add_option(
        "-p,--password", args->password, "Playback password, to read a protected movie's header");

    Command command;
    command.app = sub;
    command.run = [args, password]() {
        InfoOptions options;
        options.label = args->path;
        if (password->count() > 0) {
            options.password = args->password;
        }
        MovieDbReader reader;
        errno = 0;
        const MovieDbError status = reader.open(args->path);
        options.openErrno = errno;
        return writeMovieInfo(reader, status, options, std::cout, std::cerr);
    };
    return command;
}

} // namespace quil::cli

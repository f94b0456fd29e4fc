// quillreel export MOVIE.pdb [--frames DIR] [--wav FILE] [--contact-sheet FILE]
#include "cli/command.h"
#include "cli/exporter.h"

#include <iostream>
#include <memory>

namespace quil::cli {

Command addExportCommand(CLI::App& parent) {
    auto opt = std::make_shared<ExportOptions>();
    CLI::App* sub = parent.add_subcommand(
        "export", "Write a movie's frames as PNG files in display colours and its sound as a "
                  "16-bit WAV file, decoded as the player decodes them");
    sub->add_option("movie", opt->movie, "The movie database (.pdb)")->required();
    CLI::Option* frames = sub->add_option("--frames", opt->framesDir,
                                          "Folder for the frames (frame-00000.png, ...)");
    CLI::Option* wav = sub->add_option("--wav", opt->wavPath, "WAV file for the sound");
    CLI::Option* sheet = sub->add_option("--contact-sheet", opt->sheetPath,
                                         "PNG file with a grid of frames spread over the movie");
    sub->add_option("--sheet-frames", opt->sheetFrames, "Frames on the contact sheet")
        ->default_val(16)
        ->check(CLI::Range(1, 400));
    sub->add_option("--sheet-columns", opt->sheetColumns, "Columns of the contact sheet")
        ->default_val(4)
        ->check(CLI::Range(1, 40));
    sub->footer("Exit status: 0 everything asked for was written, 1 otherwise.");
    auto pw = std::make_shared<std::string>();
    CLI::Option* pwOption = sub->add_option("-p,--password", *pw, "Playback password of a protected movie");

    Command command;
    command.app = sub;
    command.run = [opt, frames, wav, sheet, pw, pwOption]() {
        if (frames->count() == 0 && wav->count() == 0 && sheet->count() == 0) {
            std::cerr << "quillreel export: say what to write: --frames DIR, --wav FILE and/or "
                         "--contact-sheet FILE\n";
            return 2;
        }
        ExportOptions o = *opt;
        if (pwOption->count() > 0) {
            o.password = *pw;
        }
        return RunExport(o, std::cout, std::cerr);
    };
    return command;
}

} // namespace quil::cli

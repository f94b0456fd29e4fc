// quillreel encode INPUT [AUDIO] -o OUTPUT.pdb [options]: one encoding job, run through the
// same job and engine as the encoder program. Every message of the job goes to standard
// error with its caption; progress is a bar on a terminal, plain lines otherwise, or JSON
// lines. Ctrl-C stops the job. The exit status is 0 only when the movie was written.
#include "cli/command.h"
#include "cli/encodesession.h"

#include "encoder/app/core/choices.h"

#include <iostream>
#include <memory>

namespace quil::cli {

Command addEncodeCommand(CLI::App& parent) {
    auto opt = std::make_shared<EncodeOptions>();
    CLI::App* sub = parent.add_subcommand(
        "encode", "Turn a video and/or sound file into a movie database for Palm OS handhelds");
    sub->footer(
        "Modes: with only INPUT the video and its sound come from INPUT; with AUDIO the sound "
        "comes from AUDIO. --video-only drops the sound, --audio-only makes a sound-only movie "
        "from INPUT.\nExit status: 0 the movie was written, 1 refused or failed, 2 bad options, "
        "130 stopped.");
    const EncodingParameters defaults;

    sub->add_option("input", opt->input, "Video source (or the sound file with --audio-only)")
        ->required();
    sub->add_option("audio", opt->audio, "Separate audio source (WAV, MP3, AVI, MPEG, ...)");
    sub->add_option("-o,--output", opt->fields.output_file, "The movie database to write (.pdb)")
        ->required();
    sub->add_flag("--video-only", opt->videoOnly, "Encode the picture only, without sound");
    sub->add_flag("--audio-only", opt->audioOnly, "Encode the sound only, without pictures");

    sub->add_option("--name", opt->fields.dbname,
                    "Palm database name, 1 to 30 characters (default: the output file's name)");
    sub->add_option("--title", opt->fields.title, "Title (optional)");
    sub->add_option("--author", opt->fields.author, "Author (optional)");
    sub->add_option("--password", opt->fields.password, "Password to play (optional)");
    sub->add_flag("--loop", opt->fields.looping, "Loops on playback");
    sub->add_flag("--hold", opt->fields.holding, "Waits for tap after play");

    sub->add_option("--preset", opt->preset,
                    "Sample preset 1-9, loaded before the other options:\n" + PresetHelp());
    sub->add_option("--screen", opt->screen, "Target screen: 160x160, 320x240, 320x320 or 216x384")
        ->default_str("320x240");
    sub->add_option("--color", opt->color,
                    "Colour mode: grayscale, std-palette, ext-palette, truecolor, truecolor-plus")
        ->default_str("truecolor-plus");
    sub->add_flag("--uncompressed", opt->uncompressed,
                  "Store every frame as a key frame (no compression between frames)");
    sub->add_flag("--fast", opt->fast, "Fast mode of the frame coder");
    opt->targetOption = sub->add_option("-b,--bytes-per-frame", opt->target,
                                        "Target bytes per frame; floor and ceiling follow as half "
                                        "and twice it")
                            ->default_str(std::to_string(defaults.nBytesTarget))
                            ->check(CLI::Range(0, 65535));
    opt->floorOption = sub->add_option("--floor", opt->floor,
                                       "Lowest bytes per frame (default: half the target)")
                           ->check(CLI::Range(0, 65535));
    opt->ceilingOption = sub->add_option("--ceiling", opt->ceiling,
                                         "Highest bytes per frame, at most 9000; 0 turns rate "
                                         "control off (default: twice the target)")
                             ->check(CLI::Range(0, 9000));
    sub->add_option("--fps", opt->fps, "Frame rate: a number of frames per second, or auto")
        ->default_str("15");
    sub->add_option("--seek-points", opt->seek,
                    "Seek points: none, max (5 s), high (10 s), med (20 s), low (30 s), min (60 s), "
                    "or seconds")
        ->default_str("none");
    sub->add_option("--start", opt->params.nFrameStart, "First source frame")->default_val(0);
    sub->add_option("--end", opt->params.nFrameEnd, "End source frame, exclusive; 0 = to the end")
        ->default_val(0);
    sub->add_option("--sizing", opt->params.rCropFactor,
                    "0 fills the screen and crops (Fully Zoomed Up) ... 1 fits it whole with bars "
                    "(Letterboxed Down)")
        ->default_val(0.0)
        ->check(CLI::Range(0.0, 1.0));
    sub->add_option("--brightness", opt->params.rBrightness, "Brightness adjustment")
        ->default_val(0.0)
        ->check(CLI::Range(-1.0, 1.0));
    sub->add_option("--contrast", opt->params.rContrast, "Contrast adjustment")
        ->default_val(0.0)
        ->check(CLI::Range(-1.0, 1.0));
    sub->add_flag("--rotate", opt->params.fRotateImageSideways, "Rotate a quarter turn");
    sub->add_flag("--flip-vertical", opt->params.fFlipImageVertically, "Mirror top to bottom");
    sub->add_flag("--flip-horizontal", opt->params.fFlipImageHorizontally, "Mirror left to right");

    sub->add_flag("--hifi", opt->params.bAudioHifi, "High-fidelity sound, 20000 samples/s");
    sub->add_flag("--adpcm", opt->params.bUseADPCM, "4-bit IMA ADPCM sound (not with --hifi)");
    sub->add_flag("--prefilter", opt->params.bEnablePrefilter, "High-pass pre-filter (below 200 Hz)");
    opt->boostOption = sub->add_option("--boost", opt->boost, "Volume boost in percent (e.g. 150)")
                           ->check(CLI::Range(0, 1000));

    sub->add_flag("-y,--overwrite", opt->overwrite, "Overwrite an existing output file");
    sub->add_flag("-n,--no-overwrite", opt->neverOverwrite, "Never overwrite an existing file");
    sub->add_option("--progress", opt->progress,
                    "Progress display: auto (a bar on a terminal, lines otherwise), bar, lines, "
                    "json, none")
        ->default_str("auto")
        ->check(CLI::IsMember({"auto", "bar", "lines", "json", "none"}));

    Command command;
    command.app = sub;
    command.run = [opt]() {
        if (opt->overwrite && opt->neverOverwrite) {
            std::cerr << "quillreel encode: -y and -n cannot be given together\n";
            return 2;
        }
        if (opt->videoOnly && opt->audioOnly) {
            std::cerr << "quillreel encode: --video-only and --audio-only cannot be given together\n";
            return 2;
        }
        return RunEncode(*opt);
    };
    return command;
}

} // namespace quil::cli

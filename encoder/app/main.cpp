#include "encoder/app/startup.h"

#include "quil_version.h"

int main(int argc, char** argv) {
    // Answered before the window system is touched, so that they work without a display.
    if (const auto status = quil::answerHelpOrVersion(
            argc, argv, "quillreel-encoder",
            "Usage: quillreel-encoder [/p\"VIDEO\",\"OUTPUT.pdb\",\"NAME\"] [/r] [/x]\n"
            "Turns a video and/or sound file into a movie for Palm OS handhelds.\n"
            "\n"
            "  /p\"VIDEO\",\"OUTPUT.pdb\",\"NAME\"  preset the video and audio source, the output file\n"
            "                               and the Palm name and title (also: /p VIDEO OUTPUT NAME)\n"
            "  /r                           run the job unattended, messages go to error.log\n"
            "  /x                           quit when the job is done or a message was logged\n"
            "  -h, --help                   show this help and exit\n"
            "  --version                    show the version and exit\n")) {
        return *status;
    }
    return RunQuillreelEncoder(argc, argv);
}

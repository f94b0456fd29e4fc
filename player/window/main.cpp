// quillreel-player [FILE.pdb]
#include "player/window/quilplayer.h"
#include "quil_version.h"

#include <QApplication>

int main(int argc, char** argv) {
    // Answered before QApplication, so that they work without a display.
    if (const auto status = quil::answerHelpOrVersion(argc, argv, "quillreel-player",
            "Usage: quillreel-player [FILE.pdb]\n"
            "Plays a Quillreel movie for Palm OS handhelds; without FILE, opens an empty window.\n"
            "\n"
            "  -h, --help     show this help and exit\n"
            "  --version      show the version and exit\n")) {
        return *status;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillreel Player"));
    QApplication::setApplicationVersion(QStringLiteral(QUIL_VERSION_TEXT));
    quil::QuilPlayer player;
    player.show();
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) {
        player.openFile(args.at(1));
    }
    return app.exec();
}

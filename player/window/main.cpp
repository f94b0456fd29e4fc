// quillreel-player [FILE.pdb]
#include "player/window/quilplayer.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillreel Player"));
    QApplication::setApplicationVersion(QStringLiteral("4.00.00"));
    quil::QuilPlayer player;
    player.show();
    const QStringList args = QApplication::arguments();
    if (args.size() > 1) {
        player.openFile(args.at(1));
    }
    return app.exec();
}

#include "encoder/app/startup.h"

#include "encoder/app/core/batchtasks.h"
#include "encoder/app/core/cmdline.h"
#include "encoder/app/encodergui.h"
#include "encoder/app/mainwindow.h"
#include "encoder/app/qtprompt.h"
#include "encoder/engine/standardsources.h"

#include <QApplication>
#include <QDir>

#include <memory>
#include <string>
#include <vector>

int RunQuillreelEncoder(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QuilVideoEncoder::kProgramTitle);

    // The one engine and the one set of sources live for the whole run.
    static OrbanwickMovieEncoderGUI engine;
    static StandardSources sources;

    std::vector<std::string> args(argv, argv + argc);
    EncoderWindowOptions options;
    options.commandLine = JoinCommandLine(args);
    std::string dir = QDir::currentPath().toStdString();
    if (dir.empty() || dir.back() != '/') {
        dir += '/';
    }
    options.batchFilePath = dir + kTaskFileName;

    // The MPEG preparation runs in the start procedure, on this thread, once the window exists.
    auto statusTarget = std::make_shared<QuilVideoEncoder*>(nullptr);
    options.tools = StandardMpegAudioTools([statusTarget](const std::string& text) {
        if (*statusTarget) {
            (*statusTarget)->setStatusLine(text);
        }
    });
    QtPrompt prompt;
    auto window = std::make_unique<QuilVideoEncoder>(engine, prompt, options);
    *statusTarget = window.get();
    prompt.setParent(window.get());
    window->showForStartup();
    sources.install(engine);
    window->updateSizeEstimate();

    const int status = app.exec();
    *statusTarget = nullptr;
    window.reset();
    return status;
}

#include "encoder/app/startup.h"

#include "encoder/app/core/batchtasks.h"
#include "encoder/app/core/cmdline.h"
#include "encoder/app/encodergui.h"
#include "encoder/app/mainwindow.h"
#include "encoder/app/qtprompt.h"
#include "encoder/engine/standardsources.h"
#include "encoder/media/mediamessage.h"

#include <QApplication>
#include <QDir>
#include <QThread>

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
    // What the sources and the source search show the user themselves (a file too large, a
    // read failure in the middle of a job): a message box, or the error log when unattended.
    // Reports from the worker wait until the window has shown them.
    QuilVideoEncoder* target = window.get();
    setMediaMessageHandler([target, &prompt](const char* caption, const char* text) {
        const std::string c = caption, t = text;
        auto show = [target, &prompt, c, t] {
            if (target->unattended()) {
                target->logMessage(t);
            } else {
                prompt.showMessage(c, t, PromptIcon::Warning);
            }
        };
        if (QThread::currentThread() == target->thread()) {
            show();
        } else {
            QMetaObject::invokeMethod(target, show, Qt::BlockingQueuedConnection);
        }
    });
    window->showForStartup();
    sources.install(engine);
    window->updateSizeEstimate();

    const int status = app.exec();
    setMediaMessageHandler({});
    *statusTarget = nullptr;
    window.reset();
    return status;
}

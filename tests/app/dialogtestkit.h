// Shared by the dialog tests: one QApplication on the offscreen platform, a file the engine
// can open, and screenshots saved as build artefacts (build/<preset>/artefacts).
#pragma once

#include <QApplication>
#include <QWidget>

#include <filesystem>
#include <fstream>
#include <string>

inline void EnsureDialogApp() {
    static QApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "app_tests";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    (void)app;
}

inline std::string DialogTestSourceFile() {
    const auto path = std::filesystem::temp_directory_path() / "quil_dialog_clip.avi";
    std::ofstream(path) << "x";
    return path.string();
}

// Saves a picture of the widget; the test binary runs in build/<preset>/tests/app.
inline bool SaveDialogScreenshot(QWidget& widget, const char* name) {
    namespace fs = std::filesystem;
    fs::path dir = fs::current_path();
    if (dir.filename() == "app" && dir.parent_path().filename() == "tests") {
        dir = dir.parent_path().parent_path();
    }
    dir /= "artefacts";
    std::error_code ec;
    fs::create_directories(dir, ec);
    widget.adjustSize();
    widget.show();
    QApplication::processEvents();
    return widget.grab().save(QString::fromStdString((dir / name).string()));
}

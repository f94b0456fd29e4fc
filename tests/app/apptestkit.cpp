#include "tests/app/apptestkit.h"

#include "encoder/app/completiondialog.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QTimer>

#include <fstream>
#include <random>

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "app_tests";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

  private:
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] const auto* g_environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace

DialogCloser::DialogCloser() : m_timer(std::make_unique<QTimer>()) {
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            return;
        }
        closed.push_back(dialog->objectName().toStdString());
        if (auto* completion = qobject_cast<CompletionDialog*>(dialog)) {
            for (int id = 1016; id <= 1020; ++id) {
                completionValues.push_back(completion->valueText(id).toStdString());
            }
        }
        dialog->done(0);
    });
    m_timer->start(20);
}

DialogCloser::~DialogCloser() = default;

TempDir::TempDir() {
    std::random_device rd;
    m_path = std::filesystem::temp_directory_path() / ("quil_app_" + std::to_string(rd()));
    std::filesystem::create_directories(m_path);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WindowTest::SetUp() {
    video.info = {15, 1, 0, 64, 48};
    video.paint = [](int frame, int x, int y) {
        return uint32_t(((x * 4 + frame * 16) & 255) << 16 | ((y * 5) & 255) << 8 |
                        ((x + y) * 2 & 255));
    };
    engine.SetSourceLists({&video}, {});
    engine.SetClock([this] { return tick++; }); // every frame's report is due
    sourcePath = dir.file("clip.avi");
    outputPath = dir.file("clip.pdb");
    std::ofstream(sourcePath) << "painted";
}

void WindowTest::TearDown() {
    closeWindow();
}

QuilVideoEncoder& WindowTest::openWindow(const std::string& commandLine) {
    closeWindow();
    EncoderWindowOptions options;
    options.commandLine = commandLine;
    options.settingsRoot = dir.file("config");
    options.errorLogPath = dir.file("error.log");
    window = std::make_unique<QuilVideoEncoder>(engine, prompt, options);
    window->resize(900, 560);
    window->show();
    return *window;
}

void WindowTest::closeWindow() {
    if (window) {
        window->close();
        window.reset();
    }
}

void WindowTest::prepareVideoOnlyJob(int frameCount) {
    video.info.length = frameCount;
    MainWindowFields f = window->fields();
    f.encodemode = kEncodeVideoOnly;
    f.source_file = sourcePath;
    f.output_file = outputPath;
    f.dbname = "Clip";
    window->setFields(f);
}

void WindowTest::runJob() {
    window->startJob();
    QDeadlineTimer deadline(30000);
    while (window->jobInProgress() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_FALSE(window->jobInProgress()) << "the job did not end";
    window->waitForWorker();
}

std::string WindowTest::statusLine() {
    return child<QLabel>("statusLine")->text().toStdString();
}

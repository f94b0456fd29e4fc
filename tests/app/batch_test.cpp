// "Batch Mode Encoder" as a widget: list, buttons, timer.
#include "encoder/app/batchdialog.h"

#include "dialogtestkit.h"
#include "encoder/app/core/batchtasks.h"

#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {
class Host : public BatchJobControl {
  public:
    MainWindowFields fields;
    EncodingParameters params;
    bool inProgress = false, flag = false;
    int started = 0, stopped = 0;
    MainWindowFields windowFields() override { return fields; }
    void setWindowFields(const MainWindowFields& f) override { fields = f; }
    EncodingParameters& parameters() override { return params; }
    void startJob() override {
        ++started;
        inProgress = true;
    }
    void stopJob() override {
        ++stopped;
        inProgress = false;
    }
    bool jobInProgress() override { return inProgress; }
    void refreshStatusLines() override {}
    bool batchRunning() override { return flag; }
    void setBatchRunning(bool r) override { flag = r; }
};
} // namespace

TEST(BatchDialogWidget, AddDeleteRunAndStop) {
    EnsureDialogApp();
    const auto dir = std::filesystem::temp_directory_path() / "quil_batch_dialog";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string file = (dir / kTaskFileName).string();
    Host host;
    host.fields.source_file = "/home/me/Été à Paris.avi";
    host.fields.output_file = "/home/me/Été à Paris.pdb";
    host.fields.dbname = "Paris";

    BatchDialog dialog(host, file);
    EXPECT_EQ(dialog.windowTitle(), "Batch Mode Encoder");
    auto* add = dialog.findChild<QPushButton*>("add3");
    auto* del = dialog.findChild<QPushButton*>("delete4");
    auto* close = dialog.findChild<QPushButton*>("close2");
    ASSERT_TRUE(add && del && close);
    for (int i = 0; i < 3; ++i) {
        add->click();
    }
    EXPECT_EQ(dialog.list()->count(), 3);
    EXPECT_TRUE(dialog.list()->item(0)->text().startsWith("Created:"));
    del->click(); // nothing selected: nothing happens
    EXPECT_EQ(dialog.list()->count(), 3);
    dialog.list()->setCurrentRow(1);
    del->click();
    EXPECT_EQ(dialog.list()->count(), 2);
    EXPECT_EQ(ReadTaskFile(file).size(), 2u);
    EXPECT_TRUE(SaveDialogScreenshot(dialog, "batch.png"));

    EXPECT_EQ(dialog.runButton()->text(), "&Encode All Now");
    dialog.runButton()->click();
    EXPECT_EQ(dialog.runButton()->text(), "&Stop Encoding");
    EXPECT_TRUE(dialog.timer().isActive());
    EXPECT_EQ(dialog.timer().interval(), 1000);
    EXPECT_FALSE(add->isEnabled());
    EXPECT_FALSE(del->isEnabled());
    EXPECT_FALSE(close->isEnabled());
    dialog.tick();
    EXPECT_EQ(host.started, 1);
    EXPECT_EQ(dialog.list()->count(), 1);
    EXPECT_EQ(host.fields.source_file, "/home/me/Été à Paris.avi");

    dialog.runButton()->click(); // stop: the job ends, the rest stays
    EXPECT_EQ(host.stopped, 1);
    EXPECT_FALSE(dialog.timer().isActive());
    EXPECT_TRUE(add->isEnabled() && del->isEnabled() && close->isEnabled());
    EXPECT_EQ(ReadTaskFile(file).size(), 1u);
    std::filesystem::remove_all(dir);
}

// The batch queue: adding, deleting and the one-second runner over a real task file.
#include "encoder/app/core/batchrunner.h"

#include "encoder/app/core/batchtasks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {
class FakeHost : public BatchJobControl {
public:
    MainWindowFields fields;
    EncodingParameters params;
    bool inProgress = false;
    bool batchFlag = false;
    std::vector<std::string> started; // Palm names of started jobs
    int stops = 0;
    int refreshes = 0;

    MainWindowFields windowFields() override { return fields; }
    void setWindowFields(const MainWindowFields& f) override { fields = f; }
    EncodingParameters& parameters() override { return params; }
    void startJob() override {
        EXPECT_TRUE(batchFlag) << "jobs start with the batch flag set";
        started.push_back(fields.dbname);
        inProgress = true;
    }
    void stopJob() override {
        ++stops;
        inProgress = false;
    }
    bool jobInProgress() override { return inProgress; }
    void refreshStatusLines() override { ++refreshes; }
    bool batchRunning() override { return batchFlag; }
    void setBatchRunning(bool running) override { batchFlag = running; }
};

struct BatchFixture : ::testing::Test {
    std::filesystem::path dir;
    std::string file;
    FakeHost host;

    BatchFixture() {
        dir = std::filesystem::temp_directory_path() /
              ("quil_batch_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        file = (dir / kTaskFileName).string();
    }
    ~BatchFixture() override { std::filesystem::remove_all(dir); }

    static std::tm stamp() {
        std::tm t{};
        t.tm_year = 126;
        t.tm_mon = 11;
        t.tm_mday = 10;
        return t;
    }
    void addTasks(BatchRunner& runner, std::initializer_list<const char*> names) {
        for (const char* name : names) {
            host.fields.dbname = name;
            host.fields.output_file = std::string("/tmp/out/") + name + ".pdb";
            ASSERT_TRUE(runner.addTask());
        }
    }
    std::string fileText() const {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};
} // namespace

TEST_F(BatchFixture, ThreeTasksRunOneAfterAnotherAndLeaveAnEmptyFile) {
    BatchRunner runner(host, file, stamp);
    EXPECT_TRUE(runner.entries().empty()); // no file yet
    addTasks(runner, {"one", "two", "three"});
    ASSERT_EQ(runner.entries().size(), 3u);
    EXPECT_EQ(runner.tick(), BatchRunner::Tick::Waiting); // not running yet
    EXPECT_TRUE(host.started.empty());

    EXPECT_STREQ(runner.runButtonText(), "&Encode All Now");
    runner.toggleRun();
    EXPECT_TRUE(host.batchFlag);
    EXPECT_TRUE(runner.timerActive());
    EXPECT_FALSE(runner.editButtonsEnabled());
    EXPECT_STREQ(runner.runButtonText(), "&Stop Encoding");

    host.fields.dbname = "changed";
    EXPECT_EQ(runner.tick(), BatchRunner::Tick::Started);
    EXPECT_EQ(ReadTaskFile(file).size(), 2u); // the task leaves the file when it starts
    EXPECT_EQ(runner.tick(), BatchRunner::Tick::Waiting);
    EXPECT_EQ(runner.tick(), BatchRunner::Tick::Waiting);
    host.inProgress = false;
    EXPECT_EQ(runner.tick(), BatchRunner::Tick::Started);
    host.inProgress = false;
    EXPECT_EQ(runner.tick(), BatchRunner::Tick::Started);
    EXPECT_EQ(runner.tick(), BatchRunner::Tick::Waiting);
    host.inProgress = false;
    EXPECT_EQ(runner.tick(), BatchRunner::Tick::Finished);

    EXPECT_EQ(host.started, (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(host.refreshes, 3);
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(fileText(), "");
    EXPECT_FALSE(host.batchFlag);
    EXPECT_FALSE(runner.timerActive());
    EXPECT_TRUE(runner.editButtonsEnabled());
    EXPECT_STREQ(runner.runButtonText(), "&Encode All Now");
}

TEST_F(BatchFixture, StopDuringAJobStopsItAndKeepsTheRest) {
    BatchRunner runner(host, file, stamp);
    addTasks(runner, {"one", "two", "three"});
    runner.toggleRun();
    ASSERT_EQ(runner.tick(), BatchRunner::Tick::Started);
    runner.toggleRun();
    EXPECT_EQ(host.stops, 1);
    EXPECT_FALSE(host.inProgress);
    EXPECT_FALSE(host.batchFlag);
    EXPECT_FALSE(runner.timerActive());
    const auto left = ReadTaskFile(file);
    ASSERT_EQ(left.size(), 2u);
    EXPECT_NE(left[0].find("two,"), std::string::npos);
    EXPECT_NE(left[1].find("three,"), std::string::npos);
    EXPECT_EQ(runner.tick(), BatchRunner::Tick::Waiting);
    EXPECT_EQ(host.started.size(), 1u);
}

TEST_F(BatchFixture, ATaskRestoresPathsWithSpacesAndAnEmptyAuthor) {
    BatchRunner runner(host, file, stamp);
    host.fields.source_file = "/home/me/Vidéos/Été à Paris.avi";
    host.fields.output_file = "/home/me/My Movies/Été à Paris.pdb";
    host.fields.dbname = "Paris";
    host.fields.author = "";
    host.fields.title = "A walk";
    host.params.nScreenWidth = 216;
    host.params.nScreenHeight = 384;
    host.params.rBrightness = -0.25;
    host.params.fFlipImageVertically = true;
    ASSERT_TRUE(runner.addTask());
    const std::string line = runner.entries().front();
    // The list shows the output file's name first, its spaces marked as no-break spaces.
    EXPECT_NE(line.find("Été\xC2\xA0\xC3\xA0\xC2\xA0Paris.pdb"), std::string::npos);

    host.fields = MainWindowFields{};
    host.fields.author = "someone";
    host.params = EncodingParameters{};
    runner.toggleRun();
    ASSERT_EQ(runner.tick(), BatchRunner::Tick::Started);
    EXPECT_EQ(host.fields.source_file, "/home/me/Vidéos/Été à Paris.avi");
    EXPECT_EQ(host.fields.output_file, "/home/me/My Movies/Été à Paris.pdb");
    EXPECT_EQ(host.fields.author, "");
    EXPECT_EQ(host.fields.title, "A walk");
    EXPECT_EQ(host.params.nScreenWidth, 216);
    EXPECT_EQ(host.params.nScreenHeight, 384);
    EXPECT_DOUBLE_EQ(host.params.rBrightness, -0.25);
    EXPECT_TRUE(host.params.fFlipImageVertically);
}

TEST_F(BatchFixture, AShortLineHoldsTheQueueUntilDeleted) {
    {
        std::ofstream out(file, std::ios::binary);
        out << "Created: broken\n\r\n\n";
    }
    BatchRunner runner(host, file, stamp);
    addTasks(runner, {"good"});
    ASSERT_EQ(runner.entries().size(), 2u);
    runner.toggleRun();
    EXPECT_EQ(runner.tick(), BatchRunner::Tick::Blocked);
    EXPECT_EQ(runner.tick(), BatchRunner::Tick::Blocked);
    EXPECT_TRUE(host.started.empty());
    EXPECT_EQ(ReadTaskFile(file).size(), 2u);

    runner.deleteTask(5); // outside the list: nothing
    EXPECT_EQ(runner.entries().size(), 2u);
    runner.deleteTask(0);
    EXPECT_EQ(ReadTaskFile(file).size(), 1u);
    EXPECT_EQ(runner.tick(), BatchRunner::Tick::Started);
    EXPECT_EQ(host.started, std::vector<std::string>{"good"});
}

TEST_F(BatchFixture, ClosingWhileRunningEndsTheTimerAndClearsTheFlag) {
    BatchRunner runner(host, file, stamp);
    addTasks(runner, {"one", "two"});
    runner.toggleRun();
    ASSERT_EQ(runner.tick(), BatchRunner::Tick::Started);
    runner.closing();
    EXPECT_FALSE(runner.timerActive());
    EXPECT_FALSE(host.batchFlag);
    EXPECT_TRUE(host.inProgress) << "the current job goes on";
    EXPECT_EQ(host.stops, 0);
    EXPECT_EQ(ReadTaskFile(file).size(), 1u);
}

TEST_F(BatchFixture, AddFailsQuietlyWhenTheFileCannotBeWritten) {
    BatchRunner runner(host, (dir / "missing" / kTaskFileName).string(), stamp);
    EXPECT_FALSE(runner.addTask());
    EXPECT_TRUE(runner.entries().empty());
}

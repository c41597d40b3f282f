#include "app/engine.h"

#include <gtest/gtest.h>

#include "settings/fake_file_system.h"

namespace capsel {
namespace {

class NoPrompter final : public Prompter {
 public:
  void ShowMessage(Icon, const std::string& title, const std::string&) override {
    titles.push_back(title);
  }
  std::vector<std::string> titles;
};

// Messages without their time stamps.
std::vector<std::string> Messages(const MonitorLines& monitor) {
  std::vector<std::string> out;
  for (const auto& line : monitor.lines) out.push_back(line.substr(21));
  return out;
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.AddDir("/opt/capsel");
    fs.AddDir("/home");
    fs.cwd = "/home";
    engine.log().AddSink(&monitor);
  }
  FakeFileSystem fs;
  FakeClock clock;
  FakeTimer timer;
  NoPrompter prompter;
  Engine engine{{fs, clock, timer, prompter}, {"/opt/capsel/capsel.ini", "/opt/capsel"}};
  MonitorLines monitor;
};

TEST_F(StartupTest, LogsTheFourLinesAndArmsTheTimer) {
  fs.AddFile("/opt/capsel/capsel.ini", "[General]\nVersion=1\n");
  ASSERT_TRUE(engine.Startup());
  EXPECT_EQ(Messages(monitor),
            (std::vector<std::string>{"Initializing capsel...", "Reading /opt/capsel/capsel.ini...",
                                      "capsel initialized",
                                      "Watchfolder for incoming XML EBU-TT files is: /opt/capsel/."}));
  EXPECT_EQ(timer.Interval(), 2000);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(fs.cwd, "/opt/capsel");
  EXPECT_TRUE(prompter.titles.empty());
}

TEST_F(StartupTest, DeleteModeAddsTheWarningOnlyForTheExactWord) {
  fs.AddFile("/opt/capsel/capsel.ini", "[General]\nVersion=1\n[Folders]\nOutPathXml=<DELETE>\n");
  ASSERT_TRUE(engine.Startup());
  ASSERT_EQ(monitor.lines.size(), 5u);
  EXPECT_EQ(Messages(monitor)[4],
            "WARNING: capsel is configured to DELETE input XML EBU-TT files after processing, "
            "instead of moving them to another folder!");

  FakeTimer other_timer;
  Engine lower{{fs, clock, other_timer, prompter}, {"/opt/capsel/lower.ini", "/opt/capsel"}};
  MonitorLines lower_monitor;
  lower.log().AddSink(&lower_monitor);
  fs.AddFile("/opt/capsel/lower.ini", "[General]\nVersion=1\n[Folders]\nOutPathXml=<delete>\n");
  ASSERT_TRUE(lower.Startup());
  EXPECT_EQ(lower_monitor.lines.size(), 4u);
}

TEST_F(StartupTest, MissingSettingsEndTheStartBeforeTheTimerIsArmed) {
  EXPECT_FALSE(engine.Startup());
  EXPECT_EQ(Messages(monitor), (std::vector<std::string>{"Initializing capsel...",
                                                         "Reading /opt/capsel/capsel.ini..."}));
  EXPECT_EQ(prompter.titles, std::vector<std::string>{"Error"});
  EXPECT_FALSE(timer.Enabled());
}

TEST_F(StartupTest, OnlyLinesAfterTheSettingsReachTheLogFile) {
  fs.AddFile("/opt/capsel/capsel.ini", "[General]\nVersion=2\nUseLogfile=1\n");
  ASSERT_TRUE(engine.Startup());
  EXPECT_EQ(prompter.titles, std::vector<std::string>{"Warning"});
  EXPECT_EQ(fs.Data("/opt/capsel/capsel.log"),
            "01.01.1970 00:00:00  capsel initialized\r\n"
            "01.01.1970 00:00:00  Watchfolder for incoming XML EBU-TT files is: /opt/capsel/.\r\n");
}

TEST_F(StartupTest, AFolderThatCannotBeEnteredIsNoReasonToStop) {
  fs.AddFile("/opt/capsel/capsel.ini", "[General]\nVersion=1\n");
  fs.FailOn(FakeFileSystem::Op::kChdir, "/opt/capsel");
  EXPECT_TRUE(engine.Startup());
  EXPECT_EQ(fs.cwd, "/home");
}

}  // namespace
}  // namespace capsel

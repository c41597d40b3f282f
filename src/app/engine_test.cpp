#include "app/engine.h"

#include <gtest/gtest.h>

#include <functional>

#include "convert/test_documents.h"
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

const char kSameFolderWarning[] =
    "---- WARNING: OutPathXml is the watch folder; processed files cannot leave it and are "
    "retried every scan";

// By default the watch folder and OutPathXml are both the settings' folder, hence the warning.
TEST_F(StartupTest, LogsTheStartupLinesAndArmsTheTimer) {
  fs.AddFile("/opt/capsel/capsel.ini", "[General]\nVersion=1\n");
  ASSERT_TRUE(engine.Startup());
  EXPECT_EQ(Messages(monitor),
            (std::vector<std::string>{"Initializing capsel...", "Reading /opt/capsel/capsel.ini...",
                                      "capsel initialized",
                                      "Watchfolder for incoming XML EBU-TT files is: /opt/capsel/.",
                                      kSameFolderWarning}));
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
            "01.01.1970 00:00:00  Watchfolder for incoming XML EBU-TT files is: /opt/capsel/.\r\n"
            "01.01.1970 00:00:00  " + std::string(kSameFolderWarning) + "\r\n");
}

TEST_F(StartupTest, AFolderThatCannotBeEnteredIsNoReasonToStop) {
  fs.AddFile("/opt/capsel/capsel.ini", "[General]\nVersion=1\n");
  fs.FailOn(FakeFileSystem::Op::kChdir, "/opt/capsel");
  EXPECT_TRUE(engine.Startup());
  EXPECT_EQ(fs.cwd, "/home");
}

TEST_F(StartupTest, WarnsWhenOutPathXmlIsTheWatchFolder) {
  const std::string warning = kSameFolderWarning;
  struct Case {
    const char* in_path;
    const char* out_path_xml;
    bool warns;
  };
  const Case cases[] = {
      {"in", "in", true},          {"in", "./in/", true},  {"in", "/opt/capsel/in", true},
      {"", "/opt/capsel", true},   {"in", "done", false},  {"in", "missing", false},
  };
  fs.AddDir("/opt/capsel/in");
  fs.AddDir("/opt/capsel/done");
  for (const auto& c : cases) {
    FakeTimer case_timer;
    Engine engine{{fs, clock, case_timer, prompter}, {"/opt/capsel/capsel.ini", "/opt/capsel"}};
    MonitorLines lines;
    engine.log().AddSink(&lines);
    fs.AddFile("/opt/capsel/capsel.ini", std::string("[General]\nVersion=1\n[Folders]\nInPath=") +
                                            c.in_path + "\nOutPathXml=" + c.out_path_xml + "\n");
    ASSERT_TRUE(engine.Startup());
    EXPECT_EQ(Messages(lines).back() == warning, c.warns) << c.in_path << " " << c.out_path_xml;
  }
}

// A reload asked for while a.xml is converted: a.xml is finished with the old settings, the
// scan ends there, the settings are read again, and a new scan takes b.xml with whatever is
// in force then.
class ReloadTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    for (const char* dir : {"/opt/capsel/in", "/opt/capsel/old", "/opt/capsel/new", "/opt/capsel/done"})
      fs.AddDir(dir);
    fs.AddFile("/opt/capsel/capsel.ini", Ini("old"));
    EXPECT_TRUE(engine.Startup());
    monitor.lines.clear();
    engine.log().AddSink(&hook);
    for (const char* name : {"a.xml", "b.xml"}) fs.AddFile(std::string("/opt/capsel/in/") + name, testdoc::kHelloWorld);
  }
  static std::string Ini(const std::string& out) {
    return "[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathXml=done\nOutPathSrt=" + out +
           "\n[Processing]\nMinFileAge=0\n";
  }
  // Runs `during_a` while a.xml is converted, then one tick.
  std::vector<std::string> TickWithReloadDuringA(std::function<void()> during_a) {
    hook.on_line = [&](const std::string& line) {
      if (line.ends_with("  Processing a.xml...")) {
        during_a();
        engine.RequestReload();
      }
    };
    engine.tmrCheck_Timer();
    return Messages(monitor);
  }
  struct Hook final : LogSink {
    void WriteLine(const std::string& line) override { on_line(line); }
    std::function<void(const std::string&)> on_line;
  } hook;
};

std::vector<std::string> ScanOf(const std::string& name, const std::string& out,
                                const std::string& end) {
  return {"---- DoConvert: Queue of XML files is not empty! Processing remaining files now...",
          "Processing " + name + "...", "Writing Subtitles to " + out + "/" + name.substr(0, 1) + ".srt....",
          ".... Done!", "Successfully processed " + name + ".", "Moving " + name + " to done/", end};
}

TEST_F(ReloadTest, BetweenTwoFilesTheNewSettingsTakeOverOrTheOldOnesStay) {
  const std::string interrupted =
      "---- DoConvert: Settings reload requested; the remaining files wait for the next scan.";
  const std::string finished = "---- DoConvert: Finished - All files have been processed!";
  const std::string ini = "/opt/capsel/capsel.ini";
  struct Case {
    const char* name;
    std::function<void(FakeFileSystem&)> change;
    std::vector<std::string> between;  // logged after a.xml's scan, before b.xml's
    const char* b_out;
  };
  const std::string watch = "Watchfolder for incoming XML EBU-TT files is: in/.";
  const Case cases[] = {
      {"changed", [](FakeFileSystem& f) { f.AddFile("/opt/capsel/capsel.ini", Ini("new")); },
       {"---- Settings reloaded from " + ini, watch}, "new"},
      {"newer version",
       [](FakeFileSystem& f) { f.AddFile("/opt/capsel/capsel.ini", "[General]\nVersion=2\n" + Ini("new").substr(20)); },
       {"---- Settings reloaded from " + ini,
        "Warning: The file capsel.ini is not compatible with this version of capsel. Dazed and "
        "confused, but trying to continue.",
        watch},
       "new"},
      {"removed", [](FakeFileSystem& f) { f.files.erase("/opt/capsel/capsel.ini"); },
       {"---- ERROR: Cannot reload " + ini + "; the previous settings stay"}, "old"},
      {"version no number",
       [](FakeFileSystem& f) { f.AddFile("/opt/capsel/capsel.ini", "[General]\nVersion=x\n"); },
       {"---- ERROR: Cannot reload " + ini + "; the previous settings stay"}, "old"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> expected = ScanOf("a.xml", "old", interrupted);
    expected.insert(expected.end(), c.between.begin(), c.between.end());
    for (const auto& line : ScanOf("b.xml", c.b_out, finished)) expected.push_back(line);
    EXPECT_EQ(TickWithReloadDuringA([&] { c.change(fs); }), expected);
    EXPECT_TRUE(fs.Has("/opt/capsel/old/a.srt"));
    EXPECT_TRUE(fs.Has(std::string("/opt/capsel/") + c.b_out + "/b.srt"));
    EXPECT_TRUE(prompter.titles.empty()) << "no message box on reload";
    // The next case starts from the old settings and both files back in the watch folder.
    fs.AddFile(ini, Ini("old"));
    engine.RequestReload();
    engine.tmrCheck_Timer();
    for (const char* name : {"a.xml", "b.xml"}) fs.Rename(std::string("/opt/capsel/done/") + name, std::string("/opt/capsel/in/") + name);
    for (const char* out : {"old/a.srt", "new/b.srt", "old/b.srt"}) fs.files.erase(std::string("/opt/capsel/") + out);
    monitor.lines.clear();
  }
}

}  // namespace
}  // namespace capsel

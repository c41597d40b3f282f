#include "app/engine.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/messages.h"
#include "testing/fake_clock.h"
#include "testing/fake_file_system.h"
#include "testing/fake_timer.h"
#include "testing/memory_log.h"
#include "testing/recording_prompter.h"
#include "testing/test_documents.h"

namespace capsel {
namespace {

using msg::kDeleteModeWarning;
using msg::kSameFolderWarning;

// What the start-up does with each settings file: its lines, message boxes, the timer, the
// current folder and the log file. By default the watch folder and OutPathXml are both the
// settings' folder, hence the warning.
TEST(EngineStartup, FollowsTheSettingsFile) {
  const std::vector<std::string> head = {"Initializing capsel...",
                                         "Reading /opt/capsel/capsel.ini..."};
  const std::vector<std::string> started = {msg::kInitialized,
                                            "Watchfolder for incoming XML EBU-TT files is: in/."};
  struct Case {
    const char* name;
    const char* settings;  // nullptr: no file
    std::vector<std::string> lines_after_head;
    std::vector<std::string> boxes;
    std::string log_file = "<missing>";
    bool chdir_fails = false;
  };
  const std::string log_file =
      "01.01.1970 00:00:00  capsel initialized\r\n"
      "01.01.1970 00:00:00  Watchfolder for incoming XML EBU-TT files is: in/.\r\n";
  const std::string age = "---- WARNING: MinFileAge = \"-3\" cannot be used; the default (2) stays";
  // clang-format off
  const Case cases[] = {
      {"defaults", "[General]\nVersion=1\n",
       {msg::kInitialized, "Watchfolder for incoming XML EBU-TT files is: /opt/capsel/.",
        kSameFolderWarning}, {}},
      {"delete mode", "[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathXml=<DELETE>\n",
       {started[0], started[1], kDeleteModeWarning}, {}},
      {"OutPathXml is the watch folder as the file system sees it",
       "[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathXml=./in/\n",
       {started[0], started[1], kSameFolderWarning}, {}},
      {"an empty watch folder is the current one",
       "[General]\nVersion=1\n[Folders]\nInPath=\nOutPathXml=/opt/capsel\n",
       {msg::kInitialized, "Watchfolder for incoming XML EBU-TT files is: .", kSameFolderWarning},
       {}},
      {"delete mode is the exact word",
       "[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathXml=<delete>\n", started, {}},
      {"no settings file", nullptr, {}, {"Error"}},
      {"a newer file, and only the lines after the settings in the log file",
       "[General]\nVersion=2\nUseLogfile=1\n[Folders]\nInPath=in\nOutPathXml=done\n", started,
       {"Warning"}, log_file},
      {"a word in UseLogfile counts as set; a value that cannot be used is logged, to the file too",
       "[General]\nVersion=1\nUseLogfile=yes\n[Folders]\nInPath=in\nOutPathXml=done\n"
       "[Processing]\nMinFileAge=-3\n", {age, started[0], started[1]}, {},
       "01.01.1970 00:00:00  " + age + "\r\n" + log_file},
      {"a folder that cannot be entered is no reason to stop",
       "[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathXml=done\n", started, {},
       "<missing>", true},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFileSystem fs;
    FakeClock clock;
    FakeTimer timer;
    RecordingPrompter prompter;
    MemoryLog monitor;
    for (const char* dir : {"/opt/capsel/in", "/opt/capsel/done", "/home"}) fs.AddDir(dir);
    fs.cwd = "/home";
    if (c.settings) fs.AddFile("/opt/capsel/capsel.ini", c.settings);
    if (c.chdir_fails) fs.FailOn(FakeFileSystem::Op::kChdir, "/opt/capsel");
    Engine engine{{fs, clock, timer, prompter}, {"/opt/capsel/capsel.ini", "/opt/capsel"}};
    engine.log().AddSink(&monitor);
    EXPECT_EQ(engine.Startup(), c.settings != nullptr);
    std::vector<std::string> lines = head;
    lines.insert(lines.end(), c.lines_after_head.begin(), c.lines_after_head.end());
    EXPECT_EQ(monitor.Messages(), lines);
    EXPECT_EQ(prompter.Titles(), c.boxes);
    EXPECT_EQ(timer.Enabled(), c.settings != nullptr) << "armed once the settings are read";
    EXPECT_EQ(timer.Interval(), c.settings ? 2000 : 0);
    EXPECT_EQ(fs.cwd, c.chdir_fails ? "/home" : "/opt/capsel");
    EXPECT_EQ(fs.Data("/opt/capsel/capsel.log"), c.log_file);
  }
}

std::string SettingsText(const std::string& version, const std::string& out) {
  return "[General]\nUseLogfile=1\n[Folders]\nLogfileName=" + out +
         ".log\nInPath=in\nOutPathXml=done\nOutPathSrt=" + out +
         "\n[Processing]\nMinFileAge=0\n[General]\nVersion=" + version + "\n";
}

// The messages of a scan that converts `name` into the folder `out` and ends with `end`.
std::vector<std::string> ScanOf(const std::string& name, const std::string& out,
                                const std::string& end) {
  return {msg::kQueueNotEmpty,
          "Processing " + name + ".xml...",
          "Writing Subtitles to " + out + "/" + name + ".srt....",
          msg::kDone,
          "Successfully processed " + name + ".xml.",
          "Moving " + name + ".xml to done/",
          end};
}

// A reload asked for while a.xml is converted: a.xml is finished with the old settings, the
// scan ends there, the settings file is read again (no box, whatever it holds) and a new scan
// takes b.xml with the settings in force then.
TEST(EngineReload, BetweenTwoFilesTheNewSettingsTakeOverOrTheOldOnesStay) {
  const std::string reloaded = "---- Settings reloaded from /c/capsel.ini";
  const std::string kept = "---- ERROR: Cannot reload /c/capsel.ini; the previous settings stay";
  const std::string watch = "Watchfolder for incoming XML EBU-TT files is: in/.";
  struct Case {
    const char* text_on_reload;  // nullptr: the file is gone
    std::vector<std::string> between;
    const char* b_out;
  };
  const Case cases[] = {
      {"1", {reloaded, watch}, "new"},
      {"2", {reloaded, IncompatibleSettingsText("capsel.ini"), watch}, "new"},
      {"1\n[Processing]\nStyleTags=maybe",
       {reloaded, "---- WARNING: StyleTags = \"maybe\" cannot be used; the default (0) stays",
        watch},
       "new"},
      {"x", {kept}, "old"},
      {nullptr, {kept}, "old"},
  };
  for (const auto& c : cases) {
    FakeFileSystem fs;
    FakeClock clock;
    FakeTimer timer;
    RecordingPrompter prompter;
    for (const char* dir : {"/c/in", "/c/old", "/c/new", "/c/done"}) fs.AddDir(dir);
    fs.AddFile("/c/capsel.ini", SettingsText("1", "old"));
    Engine engine{{fs, clock, timer, prompter}, {"/c/capsel.ini", "/c"}};
    ASSERT_TRUE(engine.Startup());
    for (const char* name : {"/c/in/a.xml", "/c/in/b.xml"}) fs.AddFile(name, testdoc::kHelloWorld);
    MemoryLog monitor;
    monitor.on_line = [&](const std::string& message) {
      if (message != "Processing a.xml...") return;
      if (c.text_on_reload)
        fs.AddFile("/c/capsel.ini", SettingsText(c.text_on_reload, "new"));
      else
        fs.files.erase("/c/capsel.ini");
      engine.RequestReload();
    };
    engine.log().AddSink(&monitor);
    engine.tmrCheck_Timer();

    std::vector<std::string> expected = ScanOf("a", "old", msg::kScanEndsForReload);
    expected.insert(expected.end(), c.between.begin(), c.between.end());
    for (const auto& line : ScanOf("b", c.b_out, msg::kScanFinished)) expected.push_back(line);
    EXPECT_EQ(monitor.Messages(), expected) << c.text_on_reload;
    EXPECT_TRUE(fs.Has(std::string("/c/") + c.b_out + "/b.srt"));
    // The log file follows the settings too.
    EXPECT_NE(fs.Data(std::string("/c/") + c.b_out + ".log").find("  Processing b.xml..."),
              std::string::npos);
    EXPECT_TRUE(prompter.shown.empty());
  }
}

}  // namespace
}  // namespace capsel

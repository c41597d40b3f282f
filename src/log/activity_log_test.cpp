#include "log/activity_log.h"

#include <gtest/gtest.h>

#include "convert/messages.h"
#include "testing/fake_clock.h"
#include "testing/fake_file_system.h"
#include "testing/memory_log.h"

namespace capsel {
namespace {

TEST(FormatLogLine, DayMonthYearThen24HourTimeThenTwoBlanks) {
  struct Case {
    LocalTime time;
    const char* expected;
  };
  const Case cases[] = {
      {{2027, 3, 1, 8, 5, 9}, "01.03.2027 08:05:09  msg"},
      {{2026, 12, 5, 21, 30, 7}, "05.12.2026 21:30:07  msg"},
      {{2026, 1, 31, 0, 0, 0}, "31.01.2026 00:00:00  msg"},
      {{2026, 10, 10, 23, 59, 59}, "10.10.2026 23:59:59  msg"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLogLine(c.time, "msg"), c.expected);
}

TEST(EscapeControls, ShowsControlCharactersAsHexAndLeavesTheRest) {
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"news.xml", "news.xml"},
      {"a\nb\rc\x1B[2Jd\x7F", "a\\x0Ab\\x0Dc\\x1B[2Jd\\x7F"},
      {std::string("nul\0tab\t", 8), "nul\\x00tab\\x09"},
      {"back\\slash \\x41", "back\\slash \\x41"},  // a backslash stays as it is
      {"\xC2\x80 \xC2\x9F \xC2\xA0 \xC3\xA9 \xE2\x82\xAC",
       "\\x80 \\x9F \xC2\xA0 \xC3\xA9 \xE2\x82\xAC"},
      {"\xFF\xC2 \xE2\xC2\x85 \xC2", "\xFF\xC2 \xE2\\x85 \xC2"},  // invalid UTF-8 kept
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeControls(c.in), c.out) << c.in;
}

TEST(FormatMessage, FillsThePlaceholdersInOrderAndNeverTheParts) {
  EXPECT_EQ(FormatMessage("Moving {} to {}", {"a{}.xml", "done/"}), "Moving a{}.xml to done/");
  EXPECT_EQ(FormatMessage("{} and {}", {"one"}), "one and {}");
}

class ActivityLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.local = {2027, 3, 1, 8, 5, 9};
    fs.AddDir("/var/log");
    file.Configure(true, "/var/log/capsel.log");
    log.AddSink(&monitor);
    log.AddSink(&file);
  }
  FakeFileSystem fs;
  FakeClock clock;
  ActivityLog log{clock};
  MemoryLog monitor;
  std::vector<std::string> complaints;
  LogFileSink file{fs, [this](const std::string& text) { complaints.push_back(text); }};
};

TEST_F(ActivityLogTest, EveryOutputGetsTheEscapedMessage) {
  log.LogMessage("Processing a\nb.xml...");
  EXPECT_EQ(monitor.lines,
            std::vector<std::string>{"01.03.2027 08:05:09  Processing a\\x0Ab.xml..."});
  EXPECT_EQ(fs.Data("/var/log/capsel.log"), monitor.lines[0] + "\r\n");
}

// The monitor loses nothing and hears nothing of it; the complaint comes once per path.
TEST_F(ActivityLogTest, AnUnwritableLogFileOnlyLosesTheFileLineAndIsToldOnce) {
  file.Configure(true, "/missing/folder/capsel.log");
  log.LogMessage("one");
  fs.AddDir("/missing/folder");
  fs.FailOn(FakeFileSystem::Op::kAppend, "capsel.log", ENOSPC);
  log.LogMessage("two");
  fs.ClearFailures();
  log.LogMessage("three");
  file.Configure(true, "/var/log/a\nb.log");
  fs.FailOn(FakeFileSystem::Op::kAppend, "b.log", EINVAL);
  log.LogMessage("four");
  log.LogMessage("five");
  EXPECT_EQ(monitor.lines.size(), 5u);
  EXPECT_EQ(fs.Data("/missing/folder/capsel.log"), "01.03.2027 08:05:09  three\r\n");
  EXPECT_EQ(
      complaints,
      (std::vector<std::string>{
          "capsel: cannot write the log file /missing/folder/capsel.log (No such file or "
          "directory)\n",
          "capsel: cannot write the log file /var/log/a\\x0Ab.log (not an ordinary file)\n"}));
}

TEST_F(ActivityLogTest, CountsFailureLines) {
  for (const char* m : {msg::kFileError, msg::kWriteFailed, msg::kNotLoadable, msg::kScanFinished,
                        "Processing a.xml..."})
    log.LogMessage(m);
  EXPECT_EQ(log.failure_count(), 3);
}

}  // namespace
}  // namespace capsel

namespace capsel {
namespace {

// The journal's priorities: failures and their reasons 3, warnings 4, the rest 6.
TEST(SeverityOf, FailuresTheirReasonsAndWarnings) {
  const struct {
    const char* previous;
    const char* message;
    Severity severity;
  } cases[] = {
      {"", "---- ERROR: File Error (maybe missing write permissions?)", Severity::kError},
      {"", "Error while processing XML file. Skipping file.", Severity::kError},
      {"Error while processing XML file. Skipping file.", "---- Cannot read a.xml: x",
       Severity::kError},
      {"", "---- Cannot write out/a.srt: No space left on device", Severity::kError},
      {"", "---- Please check that capsel has write rights to the SRT output folder (o/).",
       Severity::kError},
      {"", "---- WARNING: No subtitles found in a.xml", Severity::kWarning},
      {"", "WARNING: capsel is configured to DELETE input XML", Severity::kWarning},
      {"", "---- Keeping a.xml as a.xml.failed (no SRT file was written)", Severity::kWarning},
      {"---- Cannot read a.xml: x", "Moving a.xml to done/", Severity::kInfo},
      {"", "Processing Error while processing.xml...", Severity::kInfo},
  };
  for (const auto& c : cases) EXPECT_EQ(SeverityOf(c.message, c.previous), c.severity) << c.message;
}

}  // namespace
}  // namespace capsel

#include "settings/settings.h"

#include <gtest/gtest.h>

#include "log/activity_log.h"
#include "testing/fake_clock.h"
#include "testing/fake_file_system.h"
#include "testing/recording_prompter.h"

namespace capsel {
namespace {

class LoadSettingsTest : public ::testing::Test {
 protected:
  int Load(const std::string& ini_text) {
    fs.AddFile("/opt/capsel/capsel.ini", ini_text);
    return LoadSettings({"/opt/capsel/capsel.ini", "/opt/capsel"}, settings, log, prompter, fs);
  }
  FakeFileSystem fs;
  FakeClock clock;
  Settings settings;
  ActivityLog log{clock};
  RecordingPrompter prompter;
};

TEST_F(LoadSettingsTest, AnEmptyFileTakesEveryDefault) {
  EXPECT_EQ(Load(""), 0);  // with the warning of a file without Version
  EXPECT_EQ(settings.InPath, "/opt/capsel/");
  EXPECT_EQ(settings.OutPathSrt, "/opt/capsel/");
  EXPECT_EQ(settings.OutPathXml, "/opt/capsel/");
  EXPECT_EQ(settings.LogfileName, "/opt/capsel/capsel.log");
  EXPECT_FALSE(settings.Verbose);
  EXPECT_FALSE(settings.UseLogfile);
  EXPECT_EQ(settings.WriteUtf8, FlagValue::kOn);
  EXPECT_EQ(settings.AddLangString, "");
  EXPECT_EQ(settings.AnsiCodePage, 1252);
  EXPECT_EQ(settings.MinFileAgeNs, 2000000000);
  EXPECT_FALSE(settings.SubtractStartOfProgramme);
  EXPECT_FALSE(settings.StyleTags);
  EXPECT_FALSE(settings.WriteVtt);
}

TEST_F(LoadSettingsTest, VersionDecidesBetweenSilenceWarningAndError) {
  struct Case {
    const char* version_line;
    int result;
    const char* box;  // "" for none
  };
  const Case cases[] = {
      {"Version=1", 0, ""},     {"Version=2", 0, "Warning"}, {"Version=0", 0, "Warning"},
      {"Version=-1", 0, ""},    {"Version=0.5", 0, ""},      {"Version=1.5", 0, "Warning"},
      {"Version=+1", 0, ""},    {"", 0, "Warning"},          {"Version=abc", 1, "Error"},
      {"Version=", 1, "Error"}, {"Version=1x", 1, "Error"},  {"Version=.", 1, "Error"},
  };
  for (const auto& c : cases) {
    FakeFileSystem fresh_fs;
    Settings fresh;
    ActivityLog fresh_log{clock};
    RecordingPrompter boxes;
    fresh_fs.AddFile("/c/capsel.ini", std::string("[General]\n") + c.version_line + "\n");
    EXPECT_EQ(LoadSettings({"/c/capsel.ini", "/c"}, fresh, fresh_log, boxes, fresh_fs), c.result)
        << c.version_line;
    EXPECT_EQ(boxes.shown.empty() ? "" : boxes.shown[0].title, std::string(c.box))
        << c.version_line;
  }
}

TEST(ReadFlag, OnlyTheNumberOneSetsAFlag) {
  struct Case {
    const char* text;
    FlagValue expected;
  };
  const Case cases[] = {{"1", FlagValue::kOn},           {"1.0", FlagValue::kOn},
                        {" 1 ", FlagValue::kOn},         {"+1", FlagValue::kOn},
                        {"0", FlagValue::kOff},          {"2", FlagValue::kOff},
                        {"-1", FlagValue::kOff},         {"", FlagValue::kOff},
                        {"yes", FlagValue::kNotANumber}, {"on", FlagValue::kNotANumber},
                        {"1a", FlagValue::kNotANumber}};
  for (const auto& c : cases) EXPECT_EQ(ReadFlag(c.text), c.expected) << "'" << c.text << "'";
}

}  // namespace
}  // namespace capsel

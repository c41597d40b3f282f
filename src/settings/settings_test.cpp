#include "settings/settings.h"

#include <gtest/gtest.h>

#include <optional>

#include "log/activity_log.h"
#include "settings/messages.h"
#include "testing/fake_clock.h"
#include "testing/fake_file_system.h"
#include "testing/recording_prompter.h"

namespace capsel {
namespace {

class LoadSettingsTest : public ::testing::Test {
 protected:
  int Load(const std::string& ini_text) {
    fs.AddFile("/opt/capsel/capsel.ini", ini_text);
    return LoadSettings({"/opt/capsel/capsel.ini", "/opt/capsel"}, settings, log, prompter, fs,
                        &warnings);
  }
  FakeFileSystem fs;
  FakeClock clock;
  Settings settings;
  ActivityLog log{clock};
  RecordingPrompter prompter;
  std::vector<std::string> warnings;
};

// The other defaults are pinned where they act (the start-up lines, the scan, the cases).
TEST_F(LoadSettingsTest, AnEmptyFileWritesTheSrtFilesInItsOwnFolder) {
  EXPECT_EQ(Load(""), 0);  // with the warning of a file without Version
  EXPECT_EQ(settings.OutPathSrt, "/opt/capsel/");
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
    EXPECT_EQ(LoadSettings({"/c/capsel.ini", "/c"}, fresh, fresh_log, boxes, fresh_fs, &warnings),
              c.result)
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

// Each text is given to every flag. Verbose, UseLogfile and WriteUtf8 keep their own rules
// (tested where they act) and never warn; the other flags read words, and any other text keeps
// the default with a warning each.
TEST(ApplySettings, FlagsReadWords) {
  const std::pair<const char*, std::optional<bool>> cases[] = {
      {"1", true},  {"yes", true}, {"TRUE", true},   {"\" On\t\"", true},
      {"0", false}, {"No", false}, {"false", false}, {"oFF", false},
      {"2", {}},    {"1.0", {}},   {"maybe", {}},    {"", {}}};  // {}: unusable
  const std::pair<const char*, bool Settings::*> flags[] = {
      {"SubtractStartOfProgramme", &Settings::SubtractStartOfProgramme},
      {"StyleTags", &Settings::StyleTags},
      {"WriteVtt", &Settings::WriteVtt}};
  for (const auto& [text, on] : cases) {
    std::string ini = std::string("[General]\nVerbose=") + text + "\nUseLogfile=" + text +
                      "\n[Processing]\nWriteUtf8=" + text + "\n";
    Settings s;
    for (const auto& [key, field] : flags) {
      ini += std::string(key) + "=" + text + "\n";
      s.*field = true;  // a reload puts the default back, not the value before
    }
    EXPECT_EQ(ApplySettings(IniFile::Parse(ini), "/c", s).size(), on ? 0u : 3u) << text;
    for (const auto& [key, field] : flags) EXPECT_EQ(s.*field, on.value_or(false)) << text;
  }
}

TEST(ApplySettings, MinFileAgeIsSecondsFromZeroUp) {
  const std::pair<const char*, std::int64_t> cases[] = {
      {"0", 0},
      {"1.5", 1500000000},
      {"86401", 86400000000000},
      {"9223372037", 86400000000000},
      {"-3", -1},
      {"-0.5", -1},
      {"soon", -1}};  // -1: unusable, the default stays
  for (const auto& [text, ns] : cases) {
    Settings s;
    const std::string ini = std::string("[Processing]\nMinFileAge=") + text;
    EXPECT_EQ(ApplySettings(IniFile::Parse(ini), "/c", s).size(), ns < 0 ? 1u : 0u) << text;
    EXPECT_EQ(s.MinFileAgeNs, ns < 0 ? 2000000000 : ns) << text;
  }
}

// A TimeOffset is kept as written, for each document to read at its frame rate; MaxLineLength
// and MaxLines are whole numbers from 0 up, PositionTags 0, 1 or 2. Anything else is one
// warning, and stays off.
TEST(ApplySettings, TimeOffsetAndLineChecks) {
  const std::tuple<const char*, const char*, bool> cases[] = {{"TimeOffset", "-10:00:00:00", true},
                                                              {"TimeOffset", "-36000s", true},
                                                              {"TimeOffset", "+500ms", true},
                                                              {"TimeOffset", "10:00:00.5", true},
                                                              {"TimeOffset", "", true},
                                                              {"TimeOffset", "-10 hours", false},
                                                              {"TimeOffset", "--5s", false},
                                                              {"TimeOffset", "00:60:00", false},
                                                              {"TimeOffset", "5", false},
                                                              {"MaxLineLength", "42", true},
                                                              {"MaxLineLength", "-1", false},
                                                              {"MaxLines", "2.5", false},
                                                              {"MaxLines", "two", false},
                                                              {"PositionTags", "2", true},
                                                              {"PositionTags", "3", false}};
  for (const auto& [key, text, usable] : cases) {
    Settings s;
    const auto warnings =
        ApplySettings(IniFile::Parse(std::string("[Processing]\n") + key + "=" + text), "/c", s);
    const std::string value = std::string_view(key) == "TimeOffset" ? s.TimeOffset
                              : std::string_view(key) == "MaxLines" ? std::to_string(s.MaxLines)
                              : key[0] == 'P'                       ? std::to_string(s.PositionTags)
                                              : std::to_string(s.MaxLineLength);
    EXPECT_EQ(value, usable ? text : key[0] == 'T' ? "" : "0") << key << "=" << text;
    const std::string warning = key[0] == 'T'
                                    ? FormatMessage(msg::kUnusableTimeOffset, {text})
                                    : FormatMessage(msg::kUnusableSetting, {key, text, "0"});
    EXPECT_EQ(warnings, usable ? std::vector<std::string>{} : std::vector{warning}) << text;
  }
}

TEST(ApplySettings, ClaimTimeoutIsSecondsFromOne) {
  const std::tuple<const char*, std::int64_t, bool> cases[] = {
      {"30", 30, true}, {"1", 1, true}, {"0", 60, false}, {"-5", 60, false}, {"soon", 60, false}};
  for (const auto& [text, seconds, usable] : cases) {
    Settings s;
    const auto warnings =
        ApplySettings(IniFile::Parse(std::string("[Folders]\nClaimTimeout=") + text), "/c", s);
    EXPECT_EQ(s.ClaimTimeoutS, seconds) << text;
    EXPECT_EQ(warnings.size(), usable ? 0u : 1u) << text;
  }
}

}  // namespace
}  // namespace capsel

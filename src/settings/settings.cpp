#include "settings/settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <regex>

#include "log/activity_log.h"
#include "settings/ini.h"
#include "settings/messages.h"
#include "version.h"

namespace capsel {

bool ParseNumber(std::string_view text, double* value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  size_t digits = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  if (digits == 0 || i != text.size()) return false;
  *value = std::strtod(std::string(text).c_str(), nullptr);
  return true;
}

FlagValue ReadFlag(std::string_view text) {
  double value = 0;
  if (text.empty()) return FlagValue::kOff;  // a field nothing has set reads as 0
  if (!ParseNumber(text, &value)) return FlagValue::kNotANumber;
  return value == 1 ? FlagValue::kOn : FlagValue::kOff;
}

namespace {

std::string WithSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

// A whole positive number, or 0.
int ReadCodePage(std::string_view text) {
  double number = 0;
  if (!ParseNumber(text, &number) || number <= 0 || number > std::numeric_limits<int>::max() ||
      number != std::floor(number))
    return 0;
  return static_cast<int>(number);
}

constexpr char kDefaultMinFileAge[] = "2";

// Seconds from 0 up; text that is no such number keeps the default (false). Larger numbers
// are held to kMaxFileAgeSeconds, so no product can overflow.
bool ReadMinFileAgeNs(std::string_view text, std::int64_t* ns) {
  double seconds = 0;
  const bool usable = ParseNumber(text, &seconds) && seconds >= 0;
  if (!usable) ParseNumber(kDefaultMinFileAge, &seconds);
  *ns = static_cast<std::int64_t>(std::min(seconds, kMaxFileAgeSeconds) * 1e9);
  return usable;
}

// A time as a document's times read ("10:00:00.5", "10:00:00:12", "36000s", "500ms"), with an
// optional sign; the document reads it again at its own frame rate.
bool ReadTimeOffset(std::string_view text, std::string* offset) {
  static const std::regex kTimeOffset(
      R"([+-]?(\d+:[0-5]\d:([0-5]\d|60)(\.\d+|:\d+(\.\d+)?)?|\d+(\.\d+)?(h|m|s|ms|f|t)))");
  const bool usable = text.empty() || std::regex_match(text.begin(), text.end(), kTimeOffset);
  *offset = usable ? std::string(text) : std::string();
  return usable;
}

// A whole number from 0 up; anything else keeps 0 (false).
bool ReadCount(std::string_view text, int* count) {
  double number = 0;
  const bool usable = ParseNumber(text, &number) && number >= 0 &&
                      number <= std::numeric_limits<int>::max() && number == std::floor(number);
  *count = usable ? static_cast<int>(number) : 0;
  return usable;
}

// The flags beyond the first three, which keep the rules they always had (see Settings): a new
// flag is one row here.
struct FlagSetting {
  const char* section;
  const char* key;
  bool default_on;
  bool Settings::*field;
};
constexpr FlagSetting kFlagSettings[] = {
    {"Processing", "SubtractStartOfProgramme", false, &Settings::SubtractStartOfProgramme},
    {"Processing", "StyleTags", false, &Settings::StyleTags},
    {"Processing", "WriteVtt", false, &Settings::WriteVtt},
    {"Folders", "SharedWatchFolder", false, &Settings::SharedWatchFolder},
};

bool SameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == y;
         });
}

// 1, yes, true, on and 0, no, false, off in any case, blanks around ignored; nothing for the rest.
std::optional<bool> ReadFlagWord(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  for (const char* word : {"1", "yes", "true", "on"})
    if (SameWord(text, word)) return true;
  for (const char* word : {"0", "no", "false", "off"})
    if (SameWord(text, word)) return false;
  return std::nullopt;
}

}  // namespace

SettingsFileRead ReadSettingsFile(const SettingsSource& source, FileSystem& fs) {
  SettingsFileRead read;
  std::string text;
  if (fs.ReadFile(source.path, &text) != 0) return read;
  read.ini = IniFile::Parse(text);
  double version = 0;
  read.readable = ParseNumber(read.ini.Get("General", "Version", "0"), &version);
  read.compatible = version != 0 && version <= kVersionMajor;
  return read;
}

std::string IncompatibleSettingsText(const std::string& file_name) {
  return FormatMessage(msg::kIncompatibleSettings, {file_name, kProductName});
}

int LoadSettings(const SettingsSource& source, Settings& settings, ActivityLog& log,
                 Prompter& prompter, FileSystem& fs, std::vector<std::string>* warnings) {
  warnings->clear();
  const std::string file_name = BaseName(source.path);
  log.LogMessage(FormatMessage(msg::kReadingSettings, {source.path}));

  SettingsFileRead read = ReadSettingsFile(source, fs);
  if (!read.readable) {
    prompter.ShowMessage(Prompter::Icon::kError, msg::kErrorTitle,
                         FormatMessage(msg::kUnreadableSettings, {file_name}));
    return 1;
  }
  if (!read.compatible) {
    prompter.ShowMessage(Prompter::Icon::kWarning, msg::kWarningTitle,
                         IncompatibleSettingsText(file_name));
  }
  *warnings = ApplySettings(read.ini, source.program_folder, settings);
  return 0;
}

namespace {

// Calls `apply(section, key, default)` for every key of a settings file, in the order the
// record is filled.
template <typename Apply>
void ForEachSetting(const std::string& home, Apply apply) {
  apply("General", "Verbose", "0");
  apply("General", "UseLogfile", "0");
  apply("Folders", "InPath", home);
  apply("Folders", "OutPathSrt", home);
  apply("Folders", "OutPathXml", home);
  apply("Folders", "LogfileName", home + "/capsel.log");
  apply("Processing", "WriteUtf8", "1");
  apply("Processing", "AddLangString", "");
  apply("Processing", "AnsiCodePage", "1252");
  apply("Processing", "MinFileAge", kDefaultMinFileAge);
  apply("Processing", "Overlaps", "0");
  apply("Folders", "ClaimTimeout", "60");
  apply("Processing", "PositionTags", "0");
  apply("Processing", "TimeOffset", "");
  apply("Processing", "MaxLineLength", "0");
  apply("Processing", "MaxLines", "0");
  apply("General", "ResultsFile", "");
  apply("General", "MetricsFile", "");
  for (const FlagSetting& flag : kFlagSettings)
    apply(flag.section, flag.key, flag.default_on ? "1" : "0");
}

}  // namespace

std::vector<std::string> ApplySettings(const IniFile& ini, const std::string& home,
                                       Settings& settings) {
  std::vector<std::string> warnings;
  ForEachSetting(home, [&](const char* section, const char* key, const std::string& fallback) {
    const std::string text = ini.Get(section, key, fallback);
    if (ApplySetting(key, text, settings)) return;
    // Without an offset there is no default to name.
    warnings.push_back(std::string_view(key) == "TimeOffset"
                           ? FormatMessage(msg::kUnusableTimeOffset, {text})
                           : FormatMessage(msg::kUnusableSetting, {key, text, fallback}));
  });
  return warnings;
}

std::vector<std::pair<std::string, std::string>> SettingsInForce(const IniFile& ini,
                                                                 const std::string& home) {
  std::vector<std::pair<std::string, std::string>> values;
  Settings scratch;
  ForEachSetting(home, [&](const char* section, const char* key, const std::string& fallback) {
    const std::string text = ini.Get(section, key, fallback);
    values.emplace_back(key, ApplySetting(key, text, scratch) ? text : fallback);
  });
  return values;
}

bool ApplySetting(std::string_view key, const std::string& text, Settings& s) {
  for (const FlagSetting& flag : kFlagSettings) {
    if (key != flag.key) continue;
    const std::optional<bool> on = ReadFlagWord(text);
    s.*flag.field = on.value_or(flag.default_on);
    return on.has_value();
  }
  const bool on = ReadFlag(text) == FlagValue::kOn;
  if (key == "InPath") {
    s.InPath = WithSeparator(text);
  } else if (key == "OutPathSrt") {
    s.OutPathSrt = WithSeparator(text);
  } else if (key == "OutPathXml") {
    s.OutPathXml = text == kDeleteMarker ? text : WithSeparator(text);
  } else if (key == "LogfileName") {
    s.LogfileName = text;
  } else if (key == "ResultsFile") {
    s.ResultsFile = text;
  } else if (key == "MetricsFile") {
    s.MetricsFile = text;
  } else if (key == "Verbose") {
    s.Verbose = on;
  } else if (key == "UseLogfile") {
    // Text that is no number counts as set: better a line too many in the file than one
    // missing.
    s.UseLogfile = ReadFlag(text) != FlagValue::kOff;
  } else if (key == "AddLangString") {
    s.AddLangString = text;
  } else if (key == "WriteUtf8") {
    s.WriteUtf8 = ReadFlag(text);
  } else if (key == "AnsiCodePage") {
    s.AnsiCodePage = ReadCodePage(text);
    s.AnsiCodePageText = text;
  } else if (key == "ClaimTimeout") {
    double seconds = 0;
    const bool usable =
        ParseNumber(text, &seconds) && seconds >= 1 && seconds <= kMaxFileAgeSeconds;
    s.ClaimTimeoutS = usable ? static_cast<std::int64_t>(seconds) : 60;
    return usable;
  } else if (key == "Overlaps" || key == "PositionTags") {
    double mode = 0;
    const bool usable = ParseNumber(text, &mode) && (mode == 0 || mode == 1 || mode == 2);
    (key == "Overlaps" ? s.Overlaps : s.PositionTags) = usable ? static_cast<int>(mode) : 0;
    return usable;
  } else if (key == "MinFileAge") {
    return ReadMinFileAgeNs(text, &s.MinFileAgeNs);
  } else if (key == "TimeOffset") {
    return ReadTimeOffset(text, &s.TimeOffset);
  } else if (key == "MaxLineLength") {
    return ReadCount(text, &s.MaxLineLength);
  } else if (key == "MaxLines") {
    return ReadCount(text, &s.MaxLines);
  }
  return true;
}

}  // namespace capsel

#include "settings/settings.h"

#include <cstdlib>

#include "app/version.h"
#include "log/activity_log.h"
#include "settings/ini.h"

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

void AppendSeparator(std::string& folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
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
  return "Warning: The file " + file_name + " is not compatible with this version of " +
         kProductName + ". Dazed and confused, but trying to continue.";
}

int LoadSettings(const SettingsSource& source, Settings& settings, ActivityLog& log,
                 Prompter& prompter, FileSystem& fs) {
  const std::string file_name = BaseName(source.path);
  log.LogMessage("Reading " + source.path + "...");

  SettingsFileRead read = ReadSettingsFile(source, fs);
  if (!read.readable) {
    prompter.ShowMessage(Prompter::Icon::kError, "Error",
                         "Error while reading " + file_name +
                             ". The file is probably missing or corrupt. The application will "
                             "now terminate.");
    return 1;
  }
  if (!read.compatible) {
    prompter.ShowMessage(Prompter::Icon::kWarning, "Warning", IncompatibleSettingsText(file_name));
  }
  ApplySettings(read.ini, source.program_folder, settings);
  return 0;
}

void ApplySettings(const IniFile& ini, const std::string& home, Settings& settings) {
  settings.Verbose = ini.Get("General", "Verbose", "0");
  settings.UseLogfile = ini.Get("General", "UseLogfile", "0");
  settings.InPath = ini.Get("Folders", "InPath", home);
  settings.OutPathSrt = ini.Get("Folders", "OutPathSrt", home);
  settings.OutPathXml = ini.Get("Folders", "OutPathXml", home);
  settings.LogfileName = ini.Get("Folders", "LogfileName", home + "/capsel.log");
  settings.WriteUtf8 = ini.Get("Processing", "WriteUtf8", "1");
  settings.AddLangString = ini.Get("Processing", "AddLangString", "");
  settings.AnsiCodePage = ini.Get("Processing", "AnsiCodePage", "1252");
  settings.MinFileAge = ini.Get("Processing", "MinFileAge", "2");
  settings.SubtractStartOfProgramme = ini.Get("Processing", "SubtractStartOfProgramme", "0");
  settings.StyleTags = ini.Get("Processing", "StyleTags", "0");
  settings.WriteVtt = ini.Get("Processing", "WriteVtt", "0");

  AppendSeparator(settings.InPath);
  AppendSeparator(settings.OutPathSrt);
  if (settings.OutPathXml != kDeleteMarker) AppendSeparator(settings.OutPathXml);
}

}  // namespace capsel

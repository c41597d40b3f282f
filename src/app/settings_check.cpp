#include "app/settings_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "app/headless.h"
#include "app/messages.h"
#include "log/activity_log.h"
#include "settings/messages.h"

namespace capsel {
namespace {

// What the check reports, to `err`, counting the problems.
// Into the journal (a reload's check), each problem is an error there too.
struct Report {
  std::FILE* err;
  int problems = 0;
  const char* priority = IsJournalStream(fileno(err)) ? "<3>" : "";
  void Problem(const std::string& line) {
    std::fprintf(err, "%s%s\n", priority, EscapeControls(line).c_str());
    ++problems;
  }
};

// 0 when `path` is a folder that this user may use with `mode` (access(2)'s bits), else an
// errno value (ENOTDIR for anything that is no folder).
int CheckFolder(const std::string& path, int mode) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  return ::access(path.c_str(), mode) == 0 ? 0 : errno;
}

// 0 when a file at `path` can be appended to or made; `replaced`: it is written through a new
// file beside it and a rename, so only its folder counts.
int CheckFile(const std::string& path, bool replaced) {
  struct stat st;
  if (!replaced && ::stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return EINVAL;
    return ::access(path.c_str(), W_OK) == 0 ? 0 : errno;
  }
  return CheckFolder(DirName(path), W_OK | X_OK);
}

std::string Absolute(const std::string& path, const std::string& home) {
  std::filesystem::path p(path.empty() ? "." : path);
  if (p.is_relative()) p = std::filesystem::path(home) / p;
  return p.lexically_normal().string();
}

}  // namespace

int CheckSettings(const SettingsSource& source, FileSystem& fs, std::FILE* out, std::FILE* err) {
  const SettingsFileRead read = ReadSettingsFile(source, fs);
  if (!read.readable) {
    std::fprintf(err, "%s\n",
                 FormatMessage(msg::kUnreadableSettings, {BaseName(source.path)}).c_str());
    return 1;
  }
  Report report{err};
  if (!read.compatible)
    std::fprintf(err, "%s\n", IncompatibleSettingsText(BaseName(source.path)).c_str());
  Settings s;
  for (const std::string& warning : ApplySettings(read.ini, source.program_folder, s))
    report.Problem(warning);

  const std::string home = source.program_folder;
  const bool delete_mode = s.OutPathXml == kDeleteMarker;
  for (const auto& [key, value] : SettingsInForce(read.ini, home)) {
    const bool path = key == "InPath" || key == "OutPathSrt" || key == "LogfileName" ||
                      (key == "OutPathXml" && !delete_mode) ||
                      ((key == "ResultsFile" || key == "MetricsFile") && !value.empty());
    std::fprintf(out, "%s = %s\n", key.c_str(),
                 EscapeControls(path ? Absolute(value, home) : value).c_str());
  }

  auto folder = [&](const char* key, const std::string& value, int mode) {
    if (int rc = CheckFolder(Absolute(value, home), mode))
      report.Problem(FormatMessage(msg::kCheckFolder, {key, Absolute(value, home), ErrorText(rc)}));
  };
  auto file = [&](const char* key, const std::string& value, bool replaced) {
    if (int rc = CheckFile(Absolute(value, home), replaced))
      report.Problem(FormatMessage(
          msg::kCheckFile,
          {key, Absolute(value, home), rc == EINVAL ? "not an ordinary file" : ErrorText(rc)}));
  };
  folder("InPath", s.InPath, R_OK | W_OK | X_OK);
  folder("OutPathSrt", s.OutPathSrt, W_OK | X_OK);
  if (!delete_mode) {
    folder("OutPathXml", s.OutPathXml, W_OK | X_OK);
    if (fs.SameFile(Absolute(s.InPath, home), Absolute(s.OutPathXml, home)))
      report.Problem(msg::kCheckSameFolder);
  }
  if (s.UseLogfile) file("LogfileName", s.LogfileName, false);
  if (!s.ResultsFile.empty()) file("ResultsFile", s.ResultsFile, false);
  if (!s.MetricsFile.empty()) file("MetricsFile", s.MetricsFile, true);
  return report.problems == 0 ? 0 : 3;
}

}  // namespace capsel

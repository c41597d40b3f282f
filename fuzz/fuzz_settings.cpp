// Any bytes as the settings file: parsing and loading never crash, and folders come out
// normalised.

#include <cstddef>
#include <cstdint>

#include "log/activity_log.h"
#include "settings/ini.h"
#include "settings/settings.h"
#include "testing/fake_clock.h"
#include "testing/fake_file_system.h"
#include "testing/recording_prompter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace capsel;
  std::string text(reinterpret_cast<const char*>(data), size);
  FakeFileSystem fs;
  fs.AddFile("/c/capsel.ini", text);
  FakeClock clock;
  Settings settings;
  ActivityLog log{clock};
  RecordingPrompter prompter;
  std::vector<std::string> warnings;
  if (LoadSettings({"/c/capsel.ini", "/c"}, settings, log, prompter, fs, &warnings) == 0) {
    for (const std::string* folder : {&settings.InPath, &settings.OutPathSrt})
      if (!folder->empty() && folder->back() != '/') __builtin_trap();
  }
  IniFile::Parse(text).Get("General", "Version", "0");
  return 0;
}

#pragma once

#include <string>
#include <string_view>

#include "os/file_system.h"
#include "settings/ini.h"

namespace capsel {

class ActivityLog;

/// The settings record: filled by LoadSettings at the start and by a reload (ApplySettings),
/// read-only otherwise. The two fields that the window changes while the program runs,
/// `InTray` and `StatusString`, live on the window, on its own thread.
struct Settings {
  std::string InPath;      // watch folder; ends with "/" unless empty
  std::string OutPathSrt;  // SRT output folder; ends with "/" unless empty
  std::string OutPathXml;  // folder for processed inputs, ends with "/", or exactly "<DELETE>"
  std::string LogfileName;
  std::string Verbose;     // flag text, as read
  std::string UseLogfile;  // flag text, as read
  std::string AddLangString;
  std::string WriteUtf8;  // flag text, as read
  // Added for this platform.
  std::string AnsiCodePage;              // code page number that stands for "ANSI"
  std::string MinFileAge;                // seconds a file must rest before the scan takes it
  std::string SubtractStartOfProgramme;  // flag: times count from the programme's start
  std::string StyleTags;                 // flag: colour, bold, italic, underline as SRT tags
  std::string WriteVtt;                  // flag: a WebVTT file beside each SRT file
};

inline constexpr char kDeleteMarker[] = "<DELETE>";

/// How a flag text reads: set only where it reads as the number 1; text that is no number
/// at all is reported apart, since each user of a flag decides what that means.
enum class FlagValue { kOff, kOn, kNotANumber };
FlagValue ReadFlag(std::string_view text);

/// Parses a decimal number with optional sign and fraction ("1", "-1", "+2.50", ".5");
/// false for anything else, empty text included. Blanks around it are allowed.
bool ParseNumber(std::string_view text, double* value);

/// How the message boxes of the start-up reach the user.
class Prompter {
 public:
  enum class Icon { kError, kWarning, kInformation };
  virtual ~Prompter() = default;
  /// Shows a message and returns once the user has taken note of it.
  virtual void ShowMessage(Icon icon, const std::string& title, const std::string& text) = 0;
};

/// Where the settings come from.
struct SettingsSource {
  std::string path;            // the settings file
  std::string program_folder;  // the default folder, without a trailing "/"
};

/// The settings file as read.
struct SettingsFileRead {
  bool readable = false;    // the file could be read and its Version is a number
  bool compatible = false;  // its Version is neither 0 nor above this program's major version
  IniFile ini;
};
SettingsFileRead ReadSettingsFile(const SettingsSource& source, FileSystem& fs);

/// Puts the values of a settings file (defaults for missing keys) into every field that comes
/// from the file, folders with their trailing "/". Nothing in it can fail, so a record is never
/// left half-filled.
void ApplySettings(const IniFile& ini, const std::string& program_folder, Settings& settings);

/// The compatibility warning for the settings file `file_name` (a bare name).
std::string IncompatibleSettingsText(const std::string& file_name);

/// Fills `settings` from the settings file. Returns 0 when the settings were loaded (possibly
/// after the compatibility warning) and 1 when the file was unreadable or its Version is no
/// number; the error message has then been shown.
int LoadSettings(const SettingsSource& source, Settings& settings, ActivityLog& log,
                 Prompter& prompter, FileSystem& fs);

}  // namespace capsel

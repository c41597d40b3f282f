#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "os/file_system.h"
#include "settings/ini.h"

namespace capsel {

class ActivityLog;

/// How Verbose, UseLogfile and WriteUtf8 read (the other flags read words; see ApplySetting):
/// set only where the text reads as the number 1; text that is no number at all is reported
/// apart, since each of the three has its own rule for it.
enum class FlagValue { kOff, kOn, kNotANumber };
FlagValue ReadFlag(std::string_view text);

/// MinFileAge is held to this many seconds (a day); larger values wait as long as this.
inline constexpr double kMaxFileAgeSeconds = 86400;

/// The settings record: filled by LoadSettings at the start and by a reload (ApplySettings),
/// read-only otherwise. Every value is read from its text once, there; a field that nothing
/// has set reads as empty, 0 or off. The one field that the window changes while the program
/// runs, `InTray`, lives on the window, on its own thread.
struct Settings {
  std::string InPath;      // watch folder; ends with "/" unless empty
  std::string OutPathSrt;  // SRT output folder; ends with "/" unless empty
  std::string OutPathXml;  // folder for processed inputs, ends with "/", or exactly "<DELETE>"
  std::string LogfileName;
  bool Verbose = false;     // set only by the number 1
  bool UseLogfile = false;  // set by the number 1 and by text that is no number
  std::string AddLangString;
  FlagValue WriteUtf8 = FlagValue::kOff;  // text that is no number is kept apart: see ConvertFile
  // Added for this platform.
  int AnsiCodePage = 0;           // code page that stands for "ANSI"; 0: the text names none
  std::string AnsiCodePageText;   // AnsiCodePage as written, for the line that refuses it
  std::int64_t MinFileAgeNs = 0;  // how long a file must rest before the scan takes it
  // The flags below are read from the words 1, yes, true, on and 0, no, false, off.
  bool SubtractStartOfProgramme = false;  // times count from the programme's start
  bool StyleTags = false;                 // colour, bold, italic, underline as SRT tags
  bool WriteVtt = false;                  // a WebVTT file beside each SRT file
  bool SharedWatchFolder = false;         // other instances take files from the same watch folder
  std::int64_t ClaimTimeoutS = 60;        // a claim untouched this long belongs to a dead instance
  int Overlaps = 0;  // cues shown together: 0 kept, 1 merged when their times are equal, 2 split
  int PositionTags = 0;  // where cues stand is written: 0 never, 1 at the top only, 2 everywhere
  // A signed TTML time added to every time ("-10:00:00:00", "-36000s", "500ms"): its frames
  // count at each document's frame rate, so it is read there; empty: none.
  std::string TimeOffset;
  int MaxLineLength = 0;  // lines longer than this many characters are reported; 0: off
  int MaxLines = 0;       // subtitles of more lines than this are reported; 0: off
  // For the programs that watch a service; empty: not written.
  std::string ResultsFile;  // a JSON line for each file finished
  std::string MetricsFile;  // the counts in Prometheus' text format
};

inline constexpr char kDeleteMarker[] = "<DELETE>";

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
/// from the file, through ApplySetting. Nothing in it can fail, so a record is never left
/// half-filled; a value that cannot be used leaves the key's default and one warning line,
/// and the lines come back for the caller to log.
std::vector<std::string> ApplySettings(const IniFile& ini, const std::string& program_folder,
                                       Settings& settings);

/// Each key that ApplySettings reads, in its order, with the text in force: the file's, or
/// the default where the file has none or its text cannot be used.
std::vector<std::pair<std::string, std::string>> SettingsInForce(const IniFile& ini,
                                                                 const std::string& program_folder);

/// Puts the text of the key `key` (named as in the settings file: "MinFileAge") into its
/// field, read by that key's rules: folders get their trailing "/" (OutPathXml unless it is
/// "<DELETE>"), Verbose, UseLogfile and WriteUtf8 are read as their fields say, every other
/// flag takes 1, yes, true, on and 0, no, false, off in any case, an AnsiCodePage that is no
/// whole positive number gives 0, a MinFileAge is seconds from 0 up, held to
/// kMaxFileAgeSeconds, a TimeOffset is a time expression with an optional sign, MaxLineLength
/// and MaxLines are whole numbers from 0 up. Returns false when the text cannot be used: the key's
/// default is then in the field. Any other key changes nothing.
bool ApplySetting(std::string_view key, const std::string& text, Settings& settings);

/// The compatibility warning for the settings file `file_name` (a bare name).
std::string IncompatibleSettingsText(const std::string& file_name);

/// Fills `settings` from the settings file. Returns 0 when the settings were loaded (possibly
/// after the compatibility warning) and 1 when the file was unreadable or its Version is no
/// number; the error message has then been shown. `warnings` receives the lines of
/// ApplySettings, for the caller to log once its log is complete.
int LoadSettings(const SettingsSource& source, Settings& settings, ActivityLog& log,
                 Prompter& prompter, FileSystem& fs, std::vector<std::string>* warnings);

}  // namespace capsel

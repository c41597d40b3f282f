#pragma once

// What the start-up, a reload and the command line report, as users and log parsers see it.
// "{}" stands for a name or a path, filled in by FormatMessage.

namespace capsel::msg {

// The start-up and a reload.
inline constexpr char kInitializing[] = "Initializing {}...";
inline constexpr char kInitialized[] = "capsel initialized";
inline constexpr char kWatchFolder[] = "Watchfolder for incoming XML EBU-TT files is: {}.";
inline constexpr char kDeleteModeWarning[] =
    "WARNING: capsel is configured to DELETE input XML EBU-TT files after processing, instead "
    "of moving them to another folder!";
inline constexpr char kSameFolderWarning[] =
    "---- WARNING: OutPathXml is the watch folder; processed files cannot leave it and are "
    "retried every scan";
inline constexpr char kCannotReload[] = "---- ERROR: Cannot reload {}; the previous settings stay";
inline constexpr char kReloaded[] = "---- Settings reloaded from {}";

// The results and metrics files: the path and the system's reason.
inline constexpr char kCannotAppendResults[] = "---- ERROR: Cannot write the results file {}: {}";
inline constexpr char kCannotWriteMetrics[] = "---- ERROR: Cannot write the metrics file {}: {}";

// The service manager's status line.
inline constexpr char kStatusWatching[] = "Watching {}: {} converted, {} failed since start";
inline constexpr char kStatusLast[] = "; last: {} at {}";
inline constexpr char kStatusStopping[] = "Stopping";
inline constexpr char kStatusStoppingAfter[] = "Stopping after {}";

// capsel --check, on standard error: the key, the path and the reason.
inline constexpr char kCheckFolder[] = "capsel: {} {} cannot be used: {}";
inline constexpr char kCheckFile[] = "capsel: {} {} cannot be written: {}";
inline constexpr char kCheckSameFolder[] =
    "capsel: OutPathXml is the watch folder; processed files could not leave it";

// The command line, on standard error.
inline constexpr char kConfigNeedsPath[] = "--config needs the path of a settings file";
inline constexpr char kUnusableCommandLine[] = "capsel: {}\nTry 'capsel --help'.\n";
inline constexpr char kNoDisplay[] = "capsel: no display found, running headless\n";
// The window module's path and the loader's reason.
inline constexpr char kNoWindowModule[] =
    "capsel: cannot load the window from {} ({}), running headless\n";
// The window module's path, its version and this capsel's: only a module of the same version
// runs.
inline constexpr char kWindowModuleVersion[] =
    "capsel: the window module {} is version {}, this capsel is {}; running headless\n";
inline constexpr char kUnversionedWindowModule[] =
    "capsel: the window module {} gives no version, this capsel is {}; running headless\n";

}  // namespace capsel::msg

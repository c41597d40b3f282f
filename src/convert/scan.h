#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "convert/claims.h"
#include "convert/convert_file.h"
#include "log/activity_log.h"
#include "os/clock.h"
#include "os/file_system.h"
#include "os/timer.h"
#include "settings/settings.h"

namespace capsel {

/// One scan queues at most this many files; the rest wait for the next scans.
inline constexpr int kMaxQueuedFiles = 32767;

/// What the scan remembers from one tick to the next: how the watch folder last listed, so
/// that a lasting failure or a missing folder is logged once and not every two seconds, and
/// how each listed file looked when it was first seen so. Files that are gone are forgotten.
struct ScanState {
  enum class Listing { kListed, kMissing, kFailed };
  struct Sighting {
    std::int64_t size = 0;
    std::int64_t mtime_ns = 0;
    std::int64_t since_monotonic_ns = 0;  // first seen with this size and time
  };
  std::string folder;  // the InPath that all this is about
  Listing listing = Listing::kListed;
  std::map<std::string, Sighting> seen;
  std::unique_ptr<Claims> claims;  // once the scan knows its owner
  /// The *.xml files that the last scan saw and did not take: not settled yet, or beyond
  /// kMaxQueuedFiles.
  int waiting = 0;
};

struct ScanContext {
  FileSystem& fs;
  Clock& clock;
  Timer& timer;
  const Settings& settings;
  ActivityLog& log;
  ScanState& state;
  /// When set, the scan stops after the file in progress.
  const std::atomic<bool>* stop = nullptr;
  /// When set, the scan ends after the file in progress so that the settings can be read
  /// again; the files left over wait for the next scan.
  const std::atomic<bool>* reload = nullptr;
  /// When set, the file in progress is given up as soon as it is true, and the scan ends.
  const std::atomic<bool>* abandon = nullptr;
  /// When set, told of each file and that the scan goes on; a finished file's outcome comes
  /// with the time it took.
  ConvertObserver* observer = nullptr;
  /// This instance: with it, the scan removes what dead instances of this host left behind,
  /// and with SharedWatchFolder it claims each file before converting it (see Claims).
  const ClaimOwner* owner = nullptr;
};

/// The files of the watch folder that one scan takes, in ascending byte order: ordinary
/// files named *.xml in any case, not hidden, and settled. A file has settled when its
/// modification time lies MinFileAge seconds back on the wall clock, or when the scans have
/// seen it with the same size and modification time for MinFileAge seconds of the monotonic
/// clock, so a time in the future (a file server's clock running ahead) delays it no longer
/// than that. Only such names are looked at (Stat), whatever else the folder holds. Returns 0,
/// or the errno of a listing that failed (ENOENT: the folder is missing).
int ListWatchFolder(ScanContext& context, std::vector<std::string>* names);

/// One tick of the poll timer: list the watch folder and convert every file found. The
/// timer is off while the scan runs, so scans never overlap, and the next tick comes a
/// full interval after this scan ends. A watch folder that goes missing is logged once, and
/// once again when it is back; any other failure to list it once until it lists again. False
/// when a stop (or a file given up) left listed files for later.
bool DoConvert(ScanContext& context);

}  // namespace capsel

#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "convert/timer.h"
#include "log/activity_log.h"
#include "log/clock.h"
#include "settings/file_system.h"
#include "settings/settings.h"

namespace capsel {

/// One scan queues at most this many files; the rest wait for the next scans.
inline constexpr int kMaxQueuedFiles = 32767;

/// What the scan remembers from one tick to the next: only whether the watch folder could
/// not be read, so that a lasting failure is logged once and not every two seconds.
struct ScanState {
  bool listing_failed = false;
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
};

/// The files of the watch folder that one scan takes, in ascending byte order: ordinary
/// files named *.xml in any case, not hidden, resting at least MinFileAge seconds. Returns
/// 0, or the errno of a listing that failed (a missing folder lists as empty).
int ListWatchFolder(ScanContext& context, std::vector<std::string>* names);

/// One tick of the poll timer: list the watch folder and convert every file found. The
/// timer is off while the scan runs, so scans never overlap, and the next tick comes a
/// full interval after this scan ends.
void DoConvert(ScanContext& context);

}  // namespace capsel

#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "convert/messages.h"
#include "log/activity_log.h"
#include "os/file_system.h"
#include "settings/settings.h"

namespace capsel {

/// What a conversion works with.
struct ConvertContext {
  FileSystem& fs;
  const Settings& settings;
  ActivityLog& log;
  /// When set and true, the file in progress is given up between two pieces: see ConvertFile.
  const std::atomic<bool>* abandon = nullptr;
  /// Where the file is read from and taken from, when not the watch folder: this instance's
  /// claims (see Claims). A file that is no longer there when it is to be moved or deleted
  /// was taken back from the claim: one line, and it is left alone.
  std::string claim_folder = {};
  /// Called between two pieces of the document.
  std::function<void()> progress = {};
};

enum class ConvertEnd { kFinished, kAbandoned };

/// Converts the file `file_name` (a bare name in the watch folder) into an SRT file (and a
/// WebVTT file when WriteVtt is set) and takes it out of the watch folder. The document is
/// read in pieces and its cues are written as they come, into files that get their names
/// only when complete. Every outcome is reported through the log, in the order of a
/// document read whole first; nothing reaches the caller. An input is deleted only once
/// every file it asked for is safely on disk, and an input is moved or deleted only while its
/// name still stands for the file that was read, unchanged: one replaced meanwhile (a
/// producer's re-delivery by rename) waits for the next scan. kAbandoned: `abandon` was
/// raised while the document was read; nothing was written, the input is where it was, and
/// the line that says so is logged.
ConvertEnd ConvertFile(ConvertContext& context, const std::string& file_name);

}  // namespace capsel

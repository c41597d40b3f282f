#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "convert/messages.h"
#include "log/activity_log.h"
#include "os/file_system.h"
#include "settings/settings.h"

namespace capsel {

/// What became of one input file that left the watch folder (or was kept in it as
/// ".failed"), for the results file and the metrics.
struct FileOutcome {
  /// kKept: a delete-mode input whose output was not written, renamed to ".failed".
  enum class Result { kConverted, kFailed, kKept };
  std::string input;  // the bare name
  Result result = Result::kConverted;
  std::string reason;                   // the line that says why, when not converted
  std::vector<std::string> outputs;     // the paths of the SRT and WebVTT files written
  std::optional<std::string> moved_to;  // where the input is now; none once deleted or not moved
  long long cues = 0;                   // cues in the SRT file written (0: none written)
  int never_shown = 0;                  // paragraphs left out
  std::vector<std::string> warnings;    // the warning lines of the document
  std::int64_t bytes = 0;               // the input's size
  std::int64_t ms = 0;                  // time taken (the scan fills it)
};

/// Told what a conversion does, by the thread that converts. Each call must be cheap.
class ConvertObserver {
 public:
  virtual ~ConvertObserver() = default;
  /// The conversion goes on: called between two pieces of a document and between two files.
  virtual void Alive() = 0;
  /// `file_name` is taken up next.
  virtual void Starting(const std::string& file_name) = 0;
  /// A file is finished: it left the watch folder, or failed in it. Not called for a file
  /// given up at once or replaced while it was converted: both wait in the watch folder.
  virtual void Finished(const FileOutcome& outcome) = 0;
};

/// What a conversion works with.
struct ConvertContext {
  FileSystem& fs;
  const Settings& settings;
  ActivityLog& log;
  /// When set and true, the file in progress is given up between two pieces: see ConvertFile.
  const std::atomic<bool>* abandon = nullptr;
  /// When set, told that the reading goes on, between two pieces.
  ConvertObserver* observer = nullptr;
  /// Where the file is read from and taken from, when not the watch folder: this instance's
  /// claims (see Claims). A file that is no longer there when it is to be moved or deleted
  /// was taken back from the claim: one line, and it is left alone.
  std::string claim_folder = {};
  /// Called between two pieces of the document.
  std::function<void()> progress = {};
};

/// kReplaced: the input was replaced while it was converted and waits for the next scan.
enum class ConvertEnd { kFinished, kReplaced, kAbandoned };

/// Converts the file `file_name` (a bare name in the watch folder) into an SRT file (and a
/// WebVTT file when WriteVtt is set) and takes it out of the watch folder. The document is
/// read in pieces and its cues are written as they come, into files that get their names
/// only when complete. Every outcome is reported through the log, in the order of a
/// document read whole first; nothing reaches the caller. An input is deleted only once
/// every file it asked for is safely on disk, and an input is moved or deleted only while its
/// name still stands for the file that was read, unchanged: one replaced meanwhile (a
/// producer's re-delivery by rename) waits for the next scan. kAbandoned: `abandon` was
/// raised while the document was read; nothing was written, the input is where it was, and
/// the line that says so is logged. `outcome`, when given, receives what became of the file
/// (all but `ms`); it means something only with kFinished.
ConvertEnd ConvertFile(ConvertContext& context, const std::string& file_name,
                       FileOutcome* outcome = nullptr);

}  // namespace capsel

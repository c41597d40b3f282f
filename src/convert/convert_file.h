#pragma once

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
};

/// Converts the file `file_name` (a bare name in the watch folder) into an SRT file (and a
/// WebVTT file when WriteVtt is set) and takes it out of the watch folder. The document is
/// read in pieces and its cues are written as they come, into files that get their names
/// only when complete. Every outcome is reported through the log, in the order of a
/// document read whole first; nothing reaches the caller. An input is deleted only once
/// every file it asked for is safely on disk.
void ConvertFile(ConvertContext& context, const std::string& file_name);

}  // namespace capsel

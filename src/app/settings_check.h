#pragma once

#include <cstdio>

#include "settings/settings.h"

namespace capsel {

/// capsel --check: reads the settings file as the start-up does, writes the values in force to
/// `out` (one "key = value" line each, folders and files as absolute paths) and checks on the
/// real system what the start-up would find only later: the folders exist and this user may
/// write them (and read the watch folder), the log, results and metrics files can be written,
/// OutPathXml is not the watch folder, every value can be used. Each problem is one line on
/// `err`. Returns 0 when all is well, 1 when the file cannot be read, 3 when a check fails.
int CheckSettings(const SettingsSource& source, FileSystem& fs, std::FILE* out, std::FILE* err);

}  // namespace capsel

#pragma once

// What capsel tells programs that watch it: the results file's lines, the metrics file and
// the status line of the service manager. Pure functions of their inputs.

#include <cstdint>
#include <string>
#include <string_view>

#include "convert/convert_file.h"

namespace capsel {

/// `ns` (nanoseconds since the epoch) as local ISO 8601 time with its offset:
/// "2024-05-01T15:55:44+02:00".
std::string IsoTime(std::int64_t ns);

/// The results file's line for `outcome`, finished at `time` (IsoTime), as one JSON object
/// without the line feed. Always valid JSON: bytes of the name (and paths) that are no UTF-8
/// become U+FFFD there, and the name is then given exactly in "input_escaped" as well, every
/// byte from 80 up written as \xHH.
std::string ResultsLine(const FileOutcome& outcome, const std::string& time);

/// What the metrics count, since the start.
struct Metrics {
  long long converted = 0, failed = 0;  // a kept file counts as failed
  long long cues = 0, bytes = 0;
  std::int64_t start_ns = 0, last_scan_ns = 0, last_success_ns = 0;
  std::int64_t scan_duration_ns = 0;
  int waiting = 0;
  /// Adds one finished file, finished at `now_ns`.
  void Count(const FileOutcome& outcome, std::int64_t now_ns);
};

/// The Prometheus text format of `m`, for node_exporter's textfile collector.
std::string MetricsText(const Metrics& m, std::string_view version);

/// The status line: "Watching FOLDER: N converted, M failed since start; last: NAME at
/// HH:MM:SS", without the last part before the first file. Counts have thousands separators.
std::string StatusText(const std::string& folder, const Metrics& m, const std::string& last_name,
                       const std::string& last_time);

}  // namespace capsel

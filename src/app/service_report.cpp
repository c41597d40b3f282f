#include "app/service_report.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "app/messages.h"
#include "log/activity_log.h"

namespace capsel {
namespace {

using Json = nlohmann::ordered_json;  // the keys in the order a person reads them

const char* ResultName(FileOutcome::Result result) {
  switch (result) {
    case FileOutcome::Result::kConverted:
      return "converted";
    case FileOutcome::Result::kKept:
      return "kept";
    case FileOutcome::Result::kFailed:
      break;
  }
  return "failed";
}

Json TextOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

bool IsUtf8(const std::string& text) {
  try {
    (void)Json(text).dump();  // the strict handler throws on bytes that are no UTF-8
    return true;
  } catch (const Json::type_error&) {
    return false;
  }
}

std::string EscapeHighBytes(const std::string& text) {
  std::string out;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    }
  }
  return out;
}

std::string Seconds(std::int64_t ns) {
  char text[32];
  std::snprintf(text, sizeof text, "%" PRId64 ".%03d", ns / 1000000000,
                static_cast<int>(ns % 1000000000 / 1000000));
  return text;
}

std::string Grouped(long long n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

}  // namespace

std::string IsoTime(std::int64_t ns) {
  const std::time_t seconds = ns / 1000000000;
  std::tm tm{};
  localtime_r(&seconds, &tm);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &tm);
  const std::string iso = text;  // +0200 becomes +02:00
  return iso.substr(0, iso.size() - 2) + ":" + iso.substr(iso.size() - 2);
}

std::string ResultsLine(const FileOutcome& o, const std::string& time) {
  Json line = {{"time", time},
               {"input", o.input},
               {"result", ResultName(o.result)},
               {"reason", TextOrNull(o.reason)},
               {"outputs", o.outputs},
               {"moved_to", o.moved_to ? Json(*o.moved_to) : Json(nullptr)},
               {"cues", o.cues},
               {"never_shown", o.never_shown},
               {"warnings", o.warnings},
               {"bytes", o.bytes},
               {"ms", o.ms}};
  if (!IsUtf8(o.input)) line["input_escaped"] = EscapeHighBytes(o.input);
  return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void Metrics::Count(const FileOutcome& o, std::int64_t now_ns) {
  if (o.result == FileOutcome::Result::kConverted) {
    ++converted;
    last_success_ns = now_ns;
  } else {
    ++failed;
  }
  cues += o.cues;
  bytes += o.bytes;
}

std::string MetricsText(const Metrics& m, std::string_view version) {
  std::string text;
  auto metric = [&](const char* name, const char* type, const char* help) {
    text += FormatMessage("# HELP {} {}\n# TYPE {} {}\n", {name, help, name, type});
  };
  auto value = [&](const char* name, const std::string& v) {
    text += FormatMessage("{} {}\n", {name, v});
  };
  metric("capsel_files_total", "counter",
         "Input files finished, by result (kept counts as failed).");
  value("capsel_files_total{result=\"converted\"}", std::to_string(m.converted));
  value("capsel_files_total{result=\"failed\"}", std::to_string(m.failed));
  metric("capsel_cues_written_total", "counter", "Cues in the SRT files written.");
  value("capsel_cues_written_total", std::to_string(m.cues));
  metric("capsel_input_bytes_total", "counter", "Bytes of the input files finished.");
  value("capsel_input_bytes_total", std::to_string(m.bytes));
  metric("capsel_last_scan_timestamp_seconds", "gauge",
         "When the last scan of the watch folder ended.");
  value("capsel_last_scan_timestamp_seconds", Seconds(m.last_scan_ns));
  metric("capsel_last_success_timestamp_seconds", "gauge",
         "When the last file was converted (0: none since the start).");
  value("capsel_last_success_timestamp_seconds", Seconds(m.last_success_ns));
  metric("capsel_scan_duration_seconds", "gauge", "How long the last scan took.");
  value("capsel_scan_duration_seconds", Seconds(m.scan_duration_ns));
  metric("capsel_waiting_files", "gauge",
         "Files in the watch folder that the last scan did not take.");
  value("capsel_waiting_files", std::to_string(m.waiting));
  metric("capsel_start_time_seconds", "gauge", "When capsel started.");
  value("capsel_start_time_seconds", Seconds(m.start_ns));
  metric("capsel_build_info", "gauge", "The version of capsel that runs.");
  value(FormatMessage("capsel_build_info{version=\"{}\"}", {version}).c_str(), "1");
  return text;
}

std::string StatusText(const std::string& folder, const Metrics& m, const std::string& last_name,
                       const std::string& last_time) {
  std::string text =
      FormatMessage(msg::kStatusWatching, {folder, Grouped(m.converted), Grouped(m.failed)});
  if (!last_name.empty())
    text += FormatMessage(msg::kStatusLast, {EscapeControls(last_name), last_time});
  return text;
}

}  // namespace capsel

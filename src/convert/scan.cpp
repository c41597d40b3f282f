#include "convert/scan.h"

#include <algorithm>
#include <cerrno>

#include "convert/convert_file.h"

namespace capsel {
namespace {

bool EndsWithXml(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext == ".xml";
}

// Seconds a file must rest unchanged; text that is no number keeps the default.
double MinFileAgeSeconds(const Settings& settings) {
  double seconds = 2;
  if (!ParseNumber(settings.MinFileAge, &seconds) || seconds < 0) seconds = 2;
  return seconds;
}

}  // namespace

int ListWatchFolder(ScanContext& c, std::vector<std::string>* names) {
  names->clear();
  std::vector<DirEntry> entries;
  int rc = c.fs.List(c.settings.InPath.empty() ? "." : c.settings.InPath, &entries);
  if (rc == ENOENT) return 0;
  if (rc != 0) return rc;

  // A file modified less than MinFileAge ago may still be being written: a later scan takes
  // it. A time in the future counts as fresh too, so a skewed clock never lets a file go early.
  const auto min_age_ns = static_cast<std::int64_t>(MinFileAgeSeconds(c.settings) * 1e9);
  const std::int64_t now = c.clock.NowNs();
  for (auto& e : entries) {
    if (e.kind != DirEntry::Kind::kFile || e.name.empty() || e.name[0] == '.') continue;
    if (!EndsWithXml(e.name)) continue;
    if (min_age_ns > 0 && now - e.mtime_ns < min_age_ns) continue;
    names->push_back(std::move(e.name));
  }
  std::sort(names->begin(), names->end());
  if (names->size() > static_cast<size_t>(kMaxQueuedFiles)) names->resize(kMaxQueuedFiles);
  return 0;
}

void DoConvert(ScanContext& c) {
  c.timer.SetEnabled(false);

  std::vector<std::string> queue;
  int rc = ListWatchFolder(c, &queue);
  if (rc != 0) {
    if (!c.state.listing_failed)
      c.log.LogMessage("---- ERROR: Cannot read the watch folder " + c.settings.InPath);
    c.state.listing_failed = true;
  } else {
    c.state.listing_failed = false;
  }

  if (queue.empty()) {
    if (rc == 0 && ReadFlag(c.settings.Verbose) == FlagValue::kOn)
      c.log.LogMessage("No XML files found at all");
  } else {
    c.log.LogMessage(
        "---- DoConvert: Queue of XML files is not empty! Processing remaining files now...");
    ConvertContext convert{c.fs, c.settings, c.log};
    bool stopped = false;
    for (const std::string& name : queue) {
      if (c.stop && c.stop->load()) {
        stopped = true;
        break;
      }
      ConvertFile(convert, name);
    }
    if (stopped) {
      c.log.LogMessage("---- DoConvert: Stopping; the remaining files wait for the next start.");
    } else {
      c.log.LogMessage("---- DoConvert: Finished - All files have been processed!");
    }
  }

  c.timer.SetEnabled(true);
}

}  // namespace capsel

#include "convert/scan.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "convert/convert_file.h"
#include "convert/messages.h"

namespace capsel {
namespace {

bool EndsWithXml(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return ext == ".xml";
}

}  // namespace

int ListWatchFolder(ScanContext& c, std::vector<std::string>* names) {
  names->clear();
  const std::string& folder = c.settings.InPath;  // ends with "/" unless empty
  // A reload that names another folder starts afresh: nothing seen in the old one counts.
  if (c.state.folder != folder) {
    std::unique_ptr<Claims> claims = std::move(c.state.claims);  // they follow InPath anyway
    c.state = ScanState();
    c.state.folder = folder;
    c.state.claims = std::move(claims);
  }
  std::vector<std::string> listed;
  if (int rc = c.fs.List(folder.empty() ? "." : folder, &listed)) {
    c.state.seen.clear();
    c.state.waiting = 0;
    return rc;
  }

  // A file that changed within MinFileAge may still be being written: a later scan takes it.
  // Old files go at once; any other file waits until capsel itself has watched it stay the
  // same that long, whatever the file's time says.
  const std::int64_t min_age_ns = c.settings.MinFileAgeNs;
  const std::int64_t old_before = c.clock.NowNs() - min_age_ns;
  const std::int64_t monotonic = c.clock.MonotonicNs();
  std::map<std::string, ScanState::Sighting> seen;
  for (auto& name : listed) {
    // Names first: a folder full of other files costs no look at any of them.
    if (name.empty() || name[0] == '.' || !EndsWithXml(name)) continue;
    FileInfo e;
    if (c.fs.Stat(folder + name, &e) != 0 || e.kind != FileInfo::Kind::kFile) continue;
    ScanState::Sighting sighting{e.size, e.mtime_ns, monotonic};
    auto before = c.state.seen.find(name);
    if (before != c.state.seen.end() && before->second.size == e.size &&
        before->second.mtime_ns == e.mtime_ns)
      sighting.since_monotonic_ns = before->second.since_monotonic_ns;
    const bool settled = min_age_ns == 0 || e.mtime_ns <= old_before ||
                         monotonic - sighting.since_monotonic_ns >= min_age_ns;
    seen.emplace(name, sighting);
    if (settled) names->push_back(std::move(name));
  }
  c.state.seen = std::move(seen);
  std::sort(names->begin(), names->end());
  if (names->size() > static_cast<size_t>(kMaxQueuedFiles)) names->resize(kMaxQueuedFiles);
  c.state.waiting = static_cast<int>(c.state.seen.size() - names->size());
  return 0;
}

namespace {

// Logs a change in how the watch folder lists: once when it goes missing, once when it is
// back, once for each new failure of another kind; a lasting state is not logged again.
void LogListing(ScanContext& c, int rc) {
  using Listing = ScanState::Listing;
  const Listing now = rc == 0        ? Listing::kListed
                      : rc == ENOENT ? Listing::kMissing
                                     : Listing::kFailed;
  const Listing before = std::exchange(c.state.listing, now);
  if (now == before) return;
  // An empty InPath is the current folder, which a line names as "./".
  const std::string folder = c.settings.InPath.empty() ? "./" : c.settings.InPath;
  if (now == Listing::kMissing)
    c.log.LogMessage(FormatMessage(msg::kWatchFolderMissing, {folder}));
  else if (now == Listing::kFailed)
    c.log.LogMessage(FormatMessage(msg::kCannotReadWatchFolder, {folder}));
  else if (before == Listing::kMissing)
    c.log.LogMessage(FormatMessage(msg::kWatchFolderBack, {folder}));
}

}  // namespace

bool DoConvert(ScanContext& c) {
  c.timer.SetEnabled(false);

  // Claims of dead instances go back first, so that this scan can take them.
  Claims* claims = nullptr;
  if (c.owner != nullptr) {
    if (!c.state.claims)
      c.state.claims = std::make_unique<Claims>(c.fs, c.clock, c.settings, c.log, *c.owner);
    c.state.claims->ReturnAbandoned();
    if (c.settings.SharedWatchFolder) {
      claims = c.state.claims.get();
      claims->Refresh(true);
    }
  }
  std::vector<std::string> queue;
  const int rc = ListWatchFolder(c, &queue);
  LogListing(c, rc);

  enum class End { kAll, kStop, kReload, kAbandoned } end = End::kAll;
  if (queue.empty()) {
    if (rc == 0 && c.settings.Verbose) c.log.LogMessage(msg::kNoXmlFiles);
  } else {
    c.log.LogMessage(msg::kQueueNotEmpty);
    ConvertContext convert{c.fs, c.settings, c.log, c.abandon, c.observer};
    if (claims != nullptr) {
      convert.claim_folder = claims->Folder();
      convert.progress = [claims] { claims->Refresh(); };
    }
    for (const std::string& name : queue) {
      if (c.observer) c.observer->Alive();
      if (c.stop && c.stop->load()) end = End::kStop;
      if (end == End::kAll && c.reload && c.reload->load()) end = End::kReload;
      if (end != End::kAll) break;
      if (claims != nullptr && !claims->Claim(name)) continue;  // another instance has it
      if (c.observer) c.observer->Starting(name);
      const std::int64_t began = c.clock.MonotonicNs();
      FileOutcome outcome;
      const ConvertEnd file_end = ConvertFile(convert, name, &outcome);
      // What could not leave the claim waits in the watch folder, as it would without one.
      if (claims != nullptr) claims->GiveBack(name);
      if (file_end == ConvertEnd::kAbandoned) {
        end = End::kAbandoned;  // the file said so; nothing more is done now
        break;
      }
      outcome.ms = (c.clock.MonotonicNs() - began) / 1000000;
      if (file_end == ConvertEnd::kFinished && c.observer) c.observer->Finished(outcome);
    }
    if (claims != nullptr) claims->Tidy();
    if (end != End::kAbandoned)
      c.log.LogMessage(end == End::kStop     ? msg::kScanStopped
                       : end == End::kReload ? msg::kScanEndsForReload
                                             : msg::kScanFinished);
  }

  c.timer.SetEnabled(true);
  return end != End::kStop && end != End::kAbandoned;
}

}  // namespace capsel

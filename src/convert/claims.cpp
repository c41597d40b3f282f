#include "convert/claims.h"

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "convert/messages.h"

namespace capsel {
namespace {

constexpr std::int64_t kSecond = 1000000000;

// "HOSTNAME.PID" into its two parts; false for a name of another form.
bool SplitOwner(const std::string& owner, std::string* host, long* pid) {
  const size_t dot = owner.rfind('.');
  if (dot == std::string::npos || dot + 1 == owner.size()) return false;
  char* end = nullptr;
  *pid = std::strtol(owner.c_str() + dot + 1, &end, 10);
  *host = owner.substr(0, dot);
  return *end == '\0' && *pid > 0;
}

}  // namespace

Claims::Claims(FileSystem& fs, Clock& clock, const Settings& settings, ActivityLog& log,
               const ClaimOwner& owner)
    : fs_(fs), clock_(clock), settings_(settings), log_(log), owner_(owner) {}

std::string Claims::Folder() const {
  return settings_.InPath + kClaimsFolder + "/" + owner_.name + "/";
}

bool Claims::Claim(const std::string& name) {
  fs_.MakeDir(settings_.InPath + kClaimsFolder);
  if (int rc = fs_.MakeDir(Folder().substr(0, Folder().size() - 1))) {
    log_.LogMessage(FormatMessage(msg::kCannotClaim, {name, ErrorText(rc)}));
    return false;
  }
  const int rc = fs_.Rename(settings_.InPath + name, Folder() + name);
  if (rc == 0) {
    Refresh(true);
    return true;
  }
  if (rc != ENOENT) log_.LogMessage(FormatMessage(msg::kCannotClaim, {name, ErrorText(rc)}));
  return false;
}

void Claims::GiveBack(const std::string& name) {
  if (!fs_.Exists(Folder() + name) || fs_.Exists(settings_.InPath + name)) return;
  fs_.Rename(Folder() + name, settings_.InPath + name);
}

void Claims::Tidy() { fs_.RemoveDir(Folder().substr(0, Folder().size() - 1)); }

void Claims::Refresh(bool now) {
  const std::int64_t monotonic = clock_.MonotonicNs();
  if (!now && monotonic - refreshed_ns_ < kSecond) return;
  refreshed_ns_ = monotonic;
  fs_.Touch(Folder().substr(0, Folder().size() - 1));
}

bool Claims::DeadHere(const std::string& owner) const {
  std::string host, mine;
  long pid = 0, my_pid = 0;
  return SplitOwner(owner, &host, &pid) && SplitOwner(owner_.name, &mine, &my_pid) &&
         host == mine && pid != my_pid && !owner_.runs(pid);
}

void Claims::ReturnAbandoned() {
  if (!started_) {
    started_ = true;
    RemoveLeftovers(settings_.OutPathSrt);
    if (settings_.OutPathXml != kDeleteMarker) RemoveLeftovers(settings_.OutPathXml);
  }
  if (!settings_.SharedWatchFolder) return;
  const std::string claims = settings_.InPath + kClaimsFolder;
  std::vector<std::string> owners;
  if (fs_.List(claims, &owners) != 0) return;
  const std::int64_t timeout_ns = settings_.ClaimTimeoutS * kSecond;
  for (const std::string& owner : owners) {
    if (owner == owner_.name) continue;
    FileInfo info;
    if (fs_.Stat(claims + "/" + owner, &info) != 0 || info.kind != FileInfo::Kind::kDirectory)
      continue;
    const std::int64_t age_ns = clock_.NowNs() - info.mtime_ns;
    if (age_ns >= timeout_ns || DeadHere(owner))
      ReturnAll(owner, std::max<std::int64_t>(age_ns, 0) / kSecond);
  }
}

// Every file of `owner`'s claims back into the watch folder, then its emptied folder away.
void Claims::ReturnAll(const std::string& owner, std::int64_t age_s) {
  const std::string folder = settings_.InPath + kClaimsFolder + "/" + owner;
  std::vector<std::string> names;
  if (fs_.List(folder, &names) != 0) return;
  for (const std::string& name : names) {
    if (fs_.Exists(settings_.InPath + name)) continue;  // delivered again: the claim waits
    if (fs_.Rename(folder + "/" + name, settings_.InPath + name) != 0) continue;  // taken
    log_.LogMessage(FormatMessage(msg::kReturningClaim, {name, owner, std::to_string(age_s)}));
  }
  fs_.RemoveDir(folder);  // fails while anything is left, which is as it should be
}

// A temporary file is named after its owner; one of this host whose process is gone is a
// leftover of a capsel that was killed.
void Claims::RemoveLeftovers(const std::string& dir) {
  std::vector<std::string> names;
  if (fs_.List(dir.empty() ? "." : dir, &names) != 0) return;
  for (const std::string& name : names) {
    const std::string owner = TemporaryFileOwner(name);
    if (!owner.empty() && DeadHere(owner)) fs_.Remove(dir + name);
  }
}

}  // namespace capsel

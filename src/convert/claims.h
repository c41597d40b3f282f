#pragma once

// Several instances on one watch folder (SharedWatchFolder): a settled file is claimed by
// renaming it into InPath/.capsel-claims/OWNER/, which only one instance can do, and is
// converted there under its own name. The owner keeps its claim fresh by touching its claims
// folder; a claim left untouched for ClaimTimeout seconds belongs to an instance that died and
// is put back into the watch folder by whichever instance finds it, another rename.

#include <cstdint>
#include <functional>
#include <string>

#include "log/activity_log.h"
#include "os/clock.h"
#include "os/file_system.h"
#include "settings/settings.h"

namespace capsel {

inline constexpr char kClaimsFolder[] = ".capsel-claims";

/// This instance, as the owner of claims and temporary files.
struct ClaimOwner {
  std::string name;                    // "HOSTNAME.PID"
  std::function<bool(long pid)> runs;  // whether a process of this host runs under a pid
};

/// The claims of one instance on one watch folder.
class Claims {
 public:
  Claims(FileSystem& fs, Clock& clock, const Settings& settings, ActivityLog& log,
         const ClaimOwner& owner);

  /// The folder this instance's claimed files are converted in (ends with "/").
  std::string Folder() const;
  /// Takes `name` out of the watch folder into this instance's claims. False when that is
  /// not to be had: another instance took it first (nothing is logged then).
  bool Claim(const std::string& name);
  /// Puts a claimed file that is still in this instance's claims back into the watch folder,
  /// unless a file of that name is there again (a new delivery: the claim then waits).
  void GiveBack(const std::string& name);
  /// Removes this instance's claims folder when it is empty, so that an idle instance leaves
  /// nothing behind; the next claim makes it again.
  void Tidy();
  /// Keeps this instance's claims fresh; at most once a second unless `now`.
  void Refresh(bool now = false);
  /// Puts back into the watch folder the claims of instances that died: any claims folder
  /// left untouched for ClaimTimeout, and at the first call also this host's whose process no
  /// longer runs; one line for each file. At the first call it also removes the temporary
  /// files that this host's dead processes left in the output folders.
  void ReturnAbandoned();

 private:
  void ReturnAll(const std::string& owner, std::int64_t age_s);
  void RemoveLeftovers(const std::string& dir);
  bool DeadHere(const std::string& owner) const;

  FileSystem& fs_;
  Clock& clock_;
  const Settings& settings_;
  ActivityLog& log_;
  const ClaimOwner& owner_;
  bool started_ = false;
  std::int64_t refreshed_ns_ = 0;  // monotonic
};

}  // namespace capsel

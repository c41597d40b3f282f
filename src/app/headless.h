#pragma once

#include <string>

#include "app/command_line.h"
#include "app/engine.h"
#include "settings/settings.h"

namespace capsel {

/// While it lives, SIGHUP asks `engine` to read its settings again (Engine::RequestReload)
/// instead of ending the program; afterwards SIGHUP is ignored. One at a time.
class ReloadOnSighup {
 public:
  explicit ReloadOnSighup(Engine& engine);
  ~ReloadOnSighup();
  ReloadOnSighup(const ReloadOnSighup&) = delete;
  ReloadOnSighup& operator=(const ReloadOnSighup&) = delete;
};

/// True when `fd` is the journal stream systemd gave this service (JOURNAL_STREAM), whose
/// lines may then carry a syslog priority such as "<3>".
bool IsJournalStream(int fd);

/// Message boxes without a window: each becomes one line on standard error.
class StderrPrompter final : public Prompter {
 public:
  void ShowMessage(Icon icon, const std::string& title, const std::string& text) override;
};

/// Runs `engine` without a window, on the running QCoreApplication; its activity lines also go
/// to standard output (its prompter should be a StderrPrompter). Returns the exit status: 0,
/// 1 when the settings file was unreadable, 2 when --once saw a failure line, 3 when --once
/// was stopped (SIGTERM, SIGINT) before every file it listed was done.
int RunHeadless(const CommandLine& command_line, Engine& engine);

}  // namespace capsel

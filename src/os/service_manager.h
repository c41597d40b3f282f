#pragma once

#include <string>

namespace capsel {

/// The service manager that started capsel (systemd), told how the service is doing. Every
/// call is a hint: none fails towards its caller, and where no manager listens (a run by hand,
/// the window) they do nothing.
class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  /// The start-up (or a reload) is complete and capsel works.
  virtual void Ready() = 0;
  /// The one line that `systemctl status` shows.
  virtual void Status(const std::string& text) = 0;
  /// The settings are being read again; Ready follows.
  virtual void Reloading() = 0;
  /// capsel is ending.
  virtual void Stopping() = 0;
  /// capsel is alive: the manager's watchdog starts its time again.
  virtual void Watchdog() = 0;
};

/// Tells nobody.
class NoServiceManager final : public ServiceManager {
 public:
  void Ready() override {}
  void Status(const std::string&) override {}
  void Reloading() override {}
  void Stopping() override {}
  void Watchdog() override {}
};

/// systemd's notification socket (NOTIFY_SOCKET), through libsystemd.
class SystemdServiceManager final : public ServiceManager {
 public:
  void Ready() override;
  void Status(const std::string& text) override;
  void Reloading() override;
  void Stopping() override;
  void Watchdog() override;
};

}  // namespace capsel

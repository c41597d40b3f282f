#include "os/service_manager.h"

#include <systemd/sd-daemon.h>

namespace capsel {

// sd_notify does nothing where NOTIFY_SOCKET is not set, and its failures change nothing for
// capsel: the results are not looked at.
void SystemdServiceManager::Ready() { sd_notify(0, "READY=1"); }

void SystemdServiceManager::Status(const std::string& text) {
  // A line feed would end the assignment early; the status is one line.
  std::string line = "STATUS=" + text;
  for (char& c : line)
    if (c == '\n') c = ' ';
  sd_notify(0, line.c_str());
}

void SystemdServiceManager::Reloading() { sd_notify(0, "RELOADING=1"); }

void SystemdServiceManager::Stopping() { sd_notify(0, "STOPPING=1"); }

void SystemdServiceManager::Watchdog() { sd_notify(0, "WATCHDOG=1"); }

}  // namespace capsel

#pragma once

#include <QObject>
#include <QThread>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace capsel {

/// The thread that runs an engine's scans beside a user interface. Its event loop hosts the
/// poll timer, so every tick, and the scan it runs, happens there. It is made, started,
/// posted to, ended and destroyed on one thread, the owner's.
///
/// Work handed over by Post passes through a queue under a std::mutex, and Qt's event queue
/// only wakes the thread up. So every hand-over is ordered in a way ThreadSanitizer sees,
/// although it cannot look into the Qt libraries.
class ScanThread {
 public:
  ScanThread();
  /// Ends the thread once the scan in progress and the posted work are done, and waits.
  ~ScanThread();

  /// Starts the thread and moves `timer` (the QObject behind the poll timer; may be null)
  /// onto it. Call once.
  void Start(QObject* timer);
  /// Runs `work` on the scan thread once the scan in progress, and all work posted earlier,
  /// is done. Before Start, and once the thread has ended, it runs at once on the caller's.
  void Post(std::function<void()> work);
  /// Lets the thread end once the scan in progress and all work posted earlier are done;
  /// then, from the owner's event loop, runs `then`.
  void Quit(std::function<void()> then);

 private:
  void RunPosted();  // on the scan thread
  void Join();

  QThread thread_;
  std::unique_ptr<QObject> mailbox_;  // lives on the scan thread and calls RunPosted there
  QObject owner_context_;             // lives on the owner's thread
  std::mutex mutex_;
  std::deque<std::function<void()>> posted_;
  bool wake_pending_ = false;
  bool running_ = false;  // owner's thread only
};

}  // namespace capsel

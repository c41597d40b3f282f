#include "app/scan_thread.h"

namespace capsel {
namespace {

// A wake-up by name: Qt allocates and frees the call on its own side, so no object of ours
// crosses the threads outside the mutex.
class Mailbox final : public QObject {
  Q_OBJECT
 public:
  explicit Mailbox(std::function<void()> run) : run_(std::move(run)) {}
  Q_INVOKABLE void Run() { run_(); }

 private:
  std::function<void()> run_;
};

}  // namespace

ScanThread::ScanThread() { thread_.setObjectName("capsel scan"); }

ScanThread::~ScanThread() {
  if (!running_) return;
  Post([this] { thread_.quit(); });
  Join();
}

void ScanThread::Start(QObject* timer) {
  mailbox_ = std::make_unique<Mailbox>([this] { RunPosted(); });
  mailbox_->moveToThread(&thread_);
  // An active timer keeps running: Qt registers it again on the new thread.
  if (timer) timer->moveToThread(&thread_);
  thread_.start();
  running_ = true;
}

void ScanThread::Post(std::function<void()> work) {
  if (!running_) {
    work();
    return;
  }
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(std::move(work));
    wake = !wake_pending_;
    wake_pending_ = true;
  }
  if (wake) QMetaObject::invokeMethod(mailbox_.get(), "Run", Qt::QueuedConnection);
}

void ScanThread::RunPosted() {
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (posted_.empty()) {
        wake_pending_ = false;
        return;
      }
      work = std::move(posted_.front());
      posted_.pop_front();
    }
    work();
  }
}

void ScanThread::Quit(std::function<void()> then) {
  if (!running_) {
    then();
    return;
  }
  QObject::connect(
      &thread_, &QThread::finished, &owner_context_,
      [this, then = std::move(then)] {
        Join();
        then();
      },
      Qt::QueuedConnection);
  Post([this] { thread_.quit(); });
}

void ScanThread::Join() {
  if (!running_) return;
  thread_.wait();
  // The thread's last act was RunPosted finding the queue empty, under the mutex: taking it
  // once more orders all it did before whatever the owner does next, in a way
  // ThreadSanitizer sees (it cannot look into QThread::wait).
  std::lock_guard<std::mutex> lock(mutex_);
  running_ = false;
}

}  // namespace capsel

#include "scan_thread.moc"

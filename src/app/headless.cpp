#include "app/headless.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace capsel {
namespace {

// Standard output whose reader has gone (a closed pipe, a journal that restarted) takes no
// more lines; the log file still does. Into the journal, each line carries its priority.
class StdoutSink final : public LogSink {
 public:
  void WriteLine(const std::string& line) override { WriteEntry(line, Severity::kInfo); }
  void WriteEntry(const std::string& line, Severity severity) override {
    if (gone_) return;
    if (journal_) std::fprintf(stdout, "<%d>", static_cast<int>(severity));
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    gone_ = std::fflush(stdout) != 0 && errno == EPIPE;
  }

 private:
  bool gone_ = false;
  const bool journal_ = IsJournalStream(STDOUT_FILENO);
};

// SIGTERM and SIGINT are turned into a readable byte, so the event loop can end the run
// between two files instead of the signal cutting one in half. A second one while a file is
// in progress gives that file up at once.
int g_signal_pipe[2] = {-1, -1};
std::atomic<bool> g_stop{false};
std::atomic<bool> g_abandon{false};

void OnSignal(int) {
  if (g_stop.exchange(true)) g_abandon.store(true);
  char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(g_signal_pipe[1], &byte, 1);
}

// SIGHUP asks for the settings to be read again; the engine does it between two files.
std::atomic<Engine*> g_reload_engine{nullptr};

void OnReloadSignal(int) {
  if (Engine* engine = g_reload_engine.load()) engine->RequestReload();
}

void InstallReloadHandler(void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGHUP, &sa, nullptr);
}

// The run after a successful start-up: one scan with --once, else until SIGTERM or SIGINT.
int RunStarted(const CommandLine& command_line, Engine& engine) {
  if (::pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
  }
  engine.SetStopFlags(&g_stop, &g_abandon);

  if (command_line.once) {
    engine.timer().SetEnabled(false);
    int failures_before = engine.log().failure_count();
    const bool complete = engine.tmrCheck_Timer();
    engine.timer().SetEnabled(false);
    if (!complete) return 3;
    return engine.log().failure_count() > failures_before ? 2 : 0;
  }

  QSocketNotifier notifier(g_signal_pipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&engine] {
    engine.NotifyStopping();
    QCoreApplication::quit();
  });
  return QCoreApplication::exec();
}

}  // namespace

// systemd names the journal stream it gave a service in JOURNAL_STREAM ("DEVICE:INODE"); the
// variable is inherited, so only a descriptor that is that very stream counts.
bool IsJournalStream(int fd) {
  const char* stream = std::getenv("JOURNAL_STREAM");
  unsigned long long device = 0, inode = 0;
  struct stat st;
  return stream != nullptr && std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 &&
         ::fstat(fd, &st) == 0 && st.st_dev == device && st.st_ino == inode;
}

// A box becomes one line "Title: text"; a text that already opens with its title (the
// compatibility warning does) keeps its own prefix instead of getting a second one.
void StderrPrompter::ShowMessage(Icon, const std::string& title, const std::string& text) {
  if (text.starts_with(title + ": "))
    std::fprintf(stderr, "%s\n", text.c_str());
  else
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
  std::fflush(stderr);
}

ReloadOnSighup::ReloadOnSighup(Engine& engine) {
  g_reload_engine.store(&engine);
  InstallReloadHandler(OnReloadSignal);
}

ReloadOnSighup::~ReloadOnSighup() {
  InstallReloadHandler(SIG_IGN);
  g_reload_engine.store(nullptr);
}

int RunHeadless(const CommandLine& command_line, Engine& engine) {
  StdoutSink stdout_sink;
  engine.log().AddSink(&stdout_sink);
  // Armed before the start-up, so SIGHUP never ends a started capsel; one that comes during
  // the start-up is honoured by the first tick.
  ReloadOnSighup reload_on_sighup(engine);
  const int status = engine.Startup() ? RunStarted(command_line, engine) : 1;
  engine.log().RemoveSink(&stdout_sink);  // the engine outlives this call
  return status;
}

}  // namespace capsel

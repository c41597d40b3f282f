#include "app/headless.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>

#include "app/engine.h"
#include "convert/qt_timer.h"

namespace capsel {
namespace {

class StdoutSink final : public LogSink {
 public:
  void WriteLine(const std::string& line) override {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
};

class StderrPrompter final : public Prompter {
 public:
  void ShowMessage(Icon, const std::string& title, const std::string& text) override {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    std::fflush(stderr);
  }
};

// SIGTERM and SIGINT are turned into a readable byte, so the event loop can end the run
// between two files instead of the signal cutting one in half.
int g_signal_pipe[2] = {-1, -1};
std::atomic<bool> g_stop{false};

void OnSignal(int) {
  g_stop.store(true);
  char byte = 1;
  [[maybe_unused]] ssize_t n = ::write(g_signal_pipe[1], &byte, 1);
}

}  // namespace

SettingsSource ResolveSettingsSource(const std::string& config, const std::string& executable) {
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!config.empty()) {
    fs::path path = fs::absolute(config, ec);
    if (ec) path = config;
    path = path.lexically_normal();
    return {path.string(), path.parent_path().string()};
  }
  fs::path exe = fs::path(executable).lexically_normal();
  std::string folder = exe.parent_path().string();
  return {folder + "/" + exe.stem().string() + ".ini", folder};
}

int RunHeadless(const CommandLine& command_line, const SettingsSource& source) {
  RealFileSystem fs;
  SystemClock clock;
  QtTimer timer;
  StderrPrompter prompter;
  StdoutSink stdout_sink;
  Engine engine({fs, clock, timer, prompter}, source);
  engine.log().AddSink(&stdout_sink);

  if (!engine.Startup()) return 1;

  if (::pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
  }
  engine.SetStopFlag(&g_stop);

  if (command_line.once) {
    timer.SetEnabled(false);
    int failures_before = engine.log().failure_count();
    engine.tmrCheck_Timer();
    timer.SetEnabled(false);
    return engine.log().failure_count() > failures_before ? 2 : 0;
  }

  QSocketNotifier notifier(g_signal_pipe[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [] { QCoreApplication::quit(); });
  return QCoreApplication::exec();
}

}  // namespace capsel

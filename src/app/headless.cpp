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
#include "os/qt_timer.h"

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

// A box becomes one line "Title: text"; a text that already opens with its title (the
// compatibility warning does) keeps its own prefix instead of getting a second one.
class StderrPrompter final : public Prompter {
 public:
  void ShowMessage(Icon, const std::string& title, const std::string& text) override {
    if (text.starts_with(title + ": "))
      std::fprintf(stderr, "%s\n", text.c_str());
    else
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

}  // namespace

ReloadOnSighup::ReloadOnSighup(Engine& engine) {
  g_reload_engine.store(&engine);
  InstallReloadHandler(OnReloadSignal);
}

ReloadOnSighup::~ReloadOnSighup() {
  InstallReloadHandler(SIG_IGN);
  g_reload_engine.store(nullptr);
}

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

  // Armed before the start-up, so SIGHUP never ends a started capsel; one that comes during
  // the start-up is honoured by the first tick.
  ReloadOnSighup reload_on_sighup(engine);
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

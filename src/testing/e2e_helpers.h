#pragma once

// Helpers for tests that run the built capsel binary on real folders.

#include <fcntl.h>
#include <sys/stat.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace capsel::e2e {

struct ProcessRun {
  int status = -1;  // -1: crashed or timed out
  std::string out, err;
};

inline QProcessEnvironment HeadlessEnvironment() {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  env.remove("QT_QPA_PLATFORM");
  return env;
}

inline ProcessRun RunCapsel(const QStringList& args, const QString& program = CAPSEL_BINARY) {
  QProcess process;
  process.setProcessEnvironment(HeadlessEnvironment());
  process.start(program, args);
  process.closeWriteChannel();
  ProcessRun run;
  if (!process.waitForFinished(180000)) {
    process.kill();
    process.waitForFinished();
    return run;
  }
  run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = process.readAllStandardOutput().toStdString();
  run.err = process.readAllStandardError().toStdString();
  return run;
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

/// Writes a file whose last modification lies a minute back, so the scan takes it at once.
inline void WriteOldFile(const std::string& path, const std::string& text) {
  WriteFile(path, text);
  struct timespec times[2];
  times[0].tv_sec = times[1].tv_sec = std::time(nullptr) - 60;
  times[0].tv_nsec = times[1].tv_nsec = 0;
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

/// A settings file with the folders in, out and done beside it.
class Workspace {
 public:
  explicit Workspace(const std::string& extra_settings = "") {
    QDir(dir_.path()).mkpath("in");
    QDir(dir_.path()).mkpath("out");
    QDir(dir_.path()).mkpath("done");
    WriteSettings(extra_settings);
  }
  void WriteSettings(const std::string& extra) {
    WriteFile(
        Path("capsel.ini"),
        "[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n" + extra);
  }
  std::string Path(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }
  QString Ini() const { return QString::fromStdString(Path("capsel.ini")); }
  ProcessRun Once() const { return RunCapsel({"--headless", "--once", "--config", Ini()}); }

 private:
  QTemporaryDir dir_;
};

}  // namespace capsel::e2e

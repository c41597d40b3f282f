// End-to-end tests: the built capsel binary on real folders.

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <fstream>
#include <sstream>

namespace capsel {
namespace {

struct ProcessRun {
  int status = -1;
  std::string out, err;
  std::vector<std::string> messages;  // stdout lines without their time stamps
};

ProcessRun RunCapsel(const QStringList& args, const QString& cwd = QString()) {
  QProcess process;
  if (!cwd.isEmpty()) process.setWorkingDirectory(cwd);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  process.setProcessEnvironment(env);
  process.start(CAPSEL_BINARY, args);
  process.closeWriteChannel();
  ProcessRun run;
  if (!process.waitForFinished(60000)) {
    process.kill();
    process.waitForFinished();
    return run;
  }
  run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.out = process.readAllStandardOutput().toStdString();
  run.err = process.readAllStandardError().toStdString();
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);)
    run.messages.push_back(line.size() > 21 ? line.substr(21) : line);
  return run;
}

void WriteFile(const QString& path, const std::string& text) {
  std::ofstream(path.toStdString(), std::ios::binary) << text;
}

std::string ReadFile(const QString& path) {
  std::ifstream in(path.toStdString(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(CapselBinary, PrintsVersionAndHelp) {
  ProcessRun version = RunCapsel({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "capsel 1.0.0.8\n");
  ProcessRun help = RunCapsel({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--headless"), std::string::npos);
  ProcessRun bad = RunCapsel({"--config"});
  EXPECT_EQ(bad.status, 64);
}

TEST(CapselBinary, HeadlessStartShowsTheStartupLinesInOrder) {
  QTemporaryDir dir;
  QString ini = dir.filePath("site.ini");
  WriteFile(ini, "[General]\nVersion=1\nUseLogfile=1\n[Folders]\nInPath=in\n");
  ProcessRun run = RunCapsel({"--headless", "--once", "--config", ini});
  EXPECT_EQ(run.status, 0) << run.err;
  ASSERT_GE(run.messages.size(), 4u) << run.out;
  std::string folder = dir.path().toStdString();
  EXPECT_EQ(run.messages[0], "Initializing capsel...");
  EXPECT_EQ(run.messages[1], "Reading " + folder + "/site.ini...");
  EXPECT_EQ(run.messages[2], "capsel initialized");
  EXPECT_EQ(run.messages[3], "Watchfolder for incoming XML EBU-TT files is: in/.");
  EXPECT_EQ(run.err, "");
  // The log file is relative to the settings' folder and gets the lines after the settings.
  std::string log = ReadFile(dir.filePath("capsel.log"));
  EXPECT_NE(log.find("  capsel initialized\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("Initializing"), std::string::npos);

  // A second run appends.
  RunCapsel({"--headless", "--once", "--config", ini});
  std::string again = ReadFile(dir.filePath("capsel.log"));
  EXPECT_GT(again.size(), log.size());
  EXPECT_EQ(again.substr(0, log.size()), log);
}

TEST(CapselBinary, MissingSettingsFileEndsWithStatusOne) {
  QTemporaryDir dir;
  ProcessRun run = RunCapsel({"--headless", "--config", dir.filePath("capsel.ini")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "Error: Error while reading capsel.ini. The file is probably missing or corrupt. The "
            "application will now terminate.\n");
  ASSERT_EQ(run.messages.size(), 2u) << run.out;
  EXPECT_EQ(run.messages[1], "Reading " + dir.path().toStdString() + "/capsel.ini...");
}

TEST(CapselBinary, NewerSettingsFileWarnsAndGoesOn) {
  QTemporaryDir dir;
  QString ini = dir.filePath("capsel.ini");
  WriteFile(ini, "[General]\nVersion=2\n[Folders]\nOutPathXml=<DELETE>\n");
  ProcessRun run = RunCapsel({"--headless", "--once", "--config", ini});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "Warning: Warning: The file capsel.ini is not compatible with this version of capsel. "
            "Dazed and confused, but trying to continue.\n");
  ASSERT_GE(run.messages.size(), 5u);
  EXPECT_EQ(run.messages[4].substr(0, 36), "WARNING: capsel is configured to DEL");
}

TEST(CapselBinary, FindsTheSettingsBesideTheExecutableByItsName) {
  QTemporaryDir dir;
  QString exe = dir.filePath("subs");
  ASSERT_TRUE(QFile::copy(CAPSEL_BINARY, exe));
  WriteFile(dir.filePath("subs.ini"), "[General]\nVersion=1\n");
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("DISPLAY");
  env.remove("WAYLAND_DISPLAY");
  process.setProcessEnvironment(env);
  process.start(exe, {"--once"});
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  std::string out = process.readAllStandardOutput().toStdString();
  EXPECT_NE(out.find("Reading " + dir.path().toStdString() + "/subs.ini..."), std::string::npos)
      << out;
}

}  // namespace
}  // namespace capsel

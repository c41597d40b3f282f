// End-to-end tests: the built capsel binary on real folders.

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>

#include "testing/e2e_helpers.h"
#include "testing/test_documents.h"

namespace capsel::e2e {
namespace {

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
  WriteFile(ini.toStdString(), "[General]\nVersion=1\nUseLogfile=1\n[Folders]\nInPath=in\n");
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
  std::string log = ReadFile(dir.filePath("capsel.log").toStdString());
  EXPECT_NE(log.find("  capsel initialized\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("Initializing"), std::string::npos);

  // A second run appends.
  RunCapsel({"--headless", "--once", "--config", ini});
  std::string again = ReadFile(dir.filePath("capsel.log").toStdString());
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
  WriteFile(ini.toStdString(), "[General]\nVersion=2\n[Folders]\nOutPathXml=<DELETE>\n");
  ProcessRun run = RunCapsel({"--headless", "--once", "--config", ini});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "Warning: The file capsel.ini is not compatible with this version of capsel. "
            "Dazed and confused, but trying to continue.\n");
  ASSERT_GE(run.messages.size(), 5u);
  EXPECT_EQ(run.messages[4].substr(0, 36), "WARNING: capsel is configured to DEL");
}

TEST(CapselBinary, FindsTheSettingsBesideTheExecutableByItsName) {
  QTemporaryDir dir;
  QString exe = dir.filePath("subs");
  ASSERT_TRUE(QFile::copy(CAPSEL_BINARY, exe));
  WriteFile(dir.filePath("subs.ini").toStdString(), "[General]\nVersion=1\n");
  ProcessRun run = RunCapsel({"--once"}, exe);
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string& out = run.out;
  EXPECT_NE(out.find("Reading " + dir.path().toStdString() + "/subs.ini..."), std::string::npos)
      << out;
}

// The signal through the real binary; what a reload does between two files and with an
// unreadable file is tested on the engine.
TEST(CapselBinary, SighupReloadsTheSettings) {
  Workspace w;
  QDir().mkpath(QString::fromStdString(w.Path("new")));
  QProcess capsel;
  capsel.setProcessEnvironment(HeadlessEnvironment());
  capsel.start(CAPSEL_BINARY, {"--headless", "--config", w.Ini()});
  ASSERT_TRUE(capsel.waitForStarted());
  std::string out;
  // Reads standard output until a line ends with `text`; false after 15 seconds without it.
  auto wait_for = [&](const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (out.find(text + "\n") == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      capsel.waitForReadyRead(100);
      out += capsel.readAllStandardOutput().toStdString();
    }
    return true;
  };
  ASSERT_TRUE(wait_for("Watchfolder for incoming XML EBU-TT files is: in/."));
  WriteFile(w.Path("capsel.ini"),
            "[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=new\nOutPathXml=done\n");
  ::kill(static_cast<pid_t>(capsel.processId()), SIGHUP);
  // Dropped after the signal, so taken by a scan after the reload: it comes first in a tick.
  WriteOldFile(w.Path("in/a.xml"), testdoc::kHelloWorld);
  ASSERT_TRUE(wait_for("  ---- Settings reloaded from " + w.Path("capsel.ini"))) << out;
  ASSERT_TRUE(wait_for("Moving a.xml to done/")) << out;
  EXPECT_TRUE(Exists(w.Path("new/a.srt")));

  ::kill(static_cast<pid_t>(capsel.processId()), SIGTERM);
  ASSERT_TRUE(capsel.waitForFinished(10000));
  EXPECT_EQ(capsel.exitCode(), 0);
  EXPECT_EQ(capsel.readAllStandardError().toStdString(), "") << "no message box on reload";
}

}  // namespace
}  // namespace capsel::e2e

// The built capsel binary on real folders: what only the whole program shows (exit statuses,
// standard error, signals, the timer, real file names). The rules behind each are tested on
// their own units; tests/corpus_test.sh converts the corpus of real-world documents.

#include <gtest/gtest.h>

#include <signal.h>

#include <QDate>
#include <chrono>

#include "app/messages.h"
#include "testing/e2e_helpers.h"
#include "testing/test_documents.h"

namespace capsel::e2e {
namespace {

using testdoc::kHelloWorld;
using testdoc::kHelloWorldSrt;

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

TEST(CapselBinary, ExitStatusAndStandardErrorTellHowARunWent) {
  struct Case {
    const char* name;
    const char* settings;  // nullptr: no settings file
    const char* document;  // dropped into the watch folder
    int status;
    const char* err;
  };
  const Case cases[] = {
      {"all converted", "[General]\nVersion=1\n", kHelloWorld, 0, ""},
      {"no settings file", nullptr, nullptr, 1,
       "Error: Error while reading capsel.ini. The file is probably missing or corrupt. The "
       "application will now "
       "terminate.\n"},
      {"a newer settings file", "[General]\nVersion=2\n", nullptr, 0,
       "Warning: The file capsel.ini is not compatible with this version of capsel. Dazed and "
       "confused, but trying "
       "to continue.\n"},
      {"a document that does not load", "[General]\nVersion=1\n", "<tt", 2, ""},
  };
  for (const auto& c : cases) {
    Workspace w;
    if (c.settings)
      WriteFile(w.Path("capsel.ini"), std::string(c.settings) +
                                          "[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n["
                                          "Processing]\nMinFileAge=0\n");
    else
      std::remove(w.Path("capsel.ini").c_str());
    if (c.document) WriteOldFile(w.Path("in/doc.xml"), c.document);
    ProcessRun run = w.Once();
    EXPECT_EQ(run.status, c.status) << c.name << run.out;
    EXPECT_EQ(run.err, c.err) << c.name;
    if (c.document) {
      EXPECT_TRUE(Exists(w.Path("done/doc.xml"))) << c.name << ": the input is moved either way";
    }
  }
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
  // Each line is stamped with the local date and time.
  EXPECT_EQ(out.substr(0, 11), QDate::currentDate().toString("dd.MM.yyyy ").toStdString()) << out;
}

// Without a display capsel runs headless by itself; the poll timer takes a dropped file, SIGHUP
// reloads the settings and SIGTERM ends the program.
TEST(CapselBinary, TheTimerConvertsDroppedFilesAndSignalsReloadAndEnd) {
  Workspace w;
  QDir().mkpath(QString::fromStdString(w.Path("new")));
  QProcess capsel;
  capsel.setProcessEnvironment(HeadlessEnvironment());
  capsel.start(CAPSEL_BINARY, {"--config", w.Ini()});  // no display: headless by itself
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
  WriteOldFile(w.Path("in/dropped.xml.part"), kHelloWorld);
  ::rename(w.Path("in/dropped.xml.part").c_str(), w.Path("in/dropped.xml").c_str());
  ASSERT_TRUE(wait_for("Moving dropped.xml to done/")) << out;
  EXPECT_EQ(ReadFile(w.Path("out/dropped.srt")), kHelloWorldSrt);

  WriteFile(w.Path("capsel.ini"),
            "[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=new\nOutPathXml=done\n");
  ::kill(static_cast<pid_t>(capsel.processId()), SIGHUP);
  // Dropped after the signal, so taken by a scan after the reload: it comes first in a tick.
  WriteOldFile(w.Path("in/a.xml"), kHelloWorld);
  ASSERT_TRUE(wait_for("  ---- Settings reloaded from " + w.Path("capsel.ini"))) << out;
  ASSERT_TRUE(wait_for("Moving a.xml to done/")) << out;
  EXPECT_TRUE(Exists(w.Path("new/a.srt")));

  ::kill(static_cast<pid_t>(capsel.processId()), SIGTERM);
  ASSERT_TRUE(capsel.waitForFinished(10000));
  EXPECT_EQ(capsel.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(capsel.exitCode(), 0);
  EXPECT_EQ(capsel.readAllStandardError().toStdString(), msg::kNoDisplay)
      << "and no message box on reload";
}

}  // namespace
}  // namespace capsel::e2e

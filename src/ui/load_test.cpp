// Load: 50,000 documents, more than one scan takes, through the window's engine and its list
// (offscreen). All are converted, the monitor stays capped, and memory stays flat when the
// same load comes again.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <fstream>

#include "testing/fake_timer.h"
#include "testing/test_application.h"
#include "ui/frm_main.h"

namespace capsel {
namespace {

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

void Fill(const std::string& folder, int count, int round) {
  for (int i = 0; i < count; ++i) {
    std::ofstream(folder + "/r" + std::to_string(round) + "_" + std::to_string(i) + ".xml")
        << "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div><p begin=\"0s\" end=\"1s\">x</p></div></body></tt>";
  }
}

TEST(Load, FiftyThousandDocumentsKeepTheMonitorCappedAndMemoryFlat) {
  EnsureApplication();
  QTemporaryDir dir;
  const std::string root = dir.path().toStdString();
  for (const char* sub : {"in", "out", "done"}) QDir(dir.path()).mkpath(sub);
  std::ofstream(root + "/capsel.ini")
      << "[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n"
         "[Processing]\nMinFileAge=0\n";
  FakeTimer timer;  // ticks when the test says so, on the scan thread
  WindowOnDisk window(root, timer);
  frmMain& form = window.form;
  ASSERT_TRUE(form.Form_Load());
  form.show();

  // 50,000 documents take two scans; then another 10,000 show whether memory keeps growing.
  const int rounds[] = {50000, 10000};
  long resident[2] = {0, 0};
  for (int round = 0; round < 2; ++round) {
    Fill(root + "/in", rounds[round], round);
    for (int scan = 0; scan < 2; ++scan) RunOnScanThread(form, [&] { timer.Advance(2000); });
    resident[round] = ResidentKilobytes();
    EXPECT_EQ(QDir(dir.path() + "/in").entryList(QDir::Files).size(), 0);
    EXPECT_EQ(Control<QListWidget>(form, "lstActMon")->count(), kMonitorMaxLines);
  }
  EXPECT_EQ(QDir(dir.path() + "/done").entryList(QDir::Files).size(), 60000);
  std::printf("resident memory: %ld kB after 50,000 documents, %ld kB after 10,000 more\n",
              resident[0], resident[1]);
  EXPECT_LT(resident[1], resident[0] + 4 * 1024) << "memory grows with the load";
}

}  // namespace
}  // namespace capsel

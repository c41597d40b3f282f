// Responsiveness: while the shown window converts 5,000 documents, or one of 30 MB, its event
// loop never stops for 100 ms or more. A zero-interval timer records the longest gap between
// two of its turns, from the start until the scan's closing line is in the list.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>

#include "doc_generator.h"
#include "os/qt_timer.h"
#include "testing/test_application.h"
#include "ui/frm_main.h"

namespace capsel {
namespace {

constexpr char kFinished[] = "---- DoConvert: Finished - All files have been processed!";

// Converts `count` generated documents of `cues` subtitles each through the window; returns
// the longest stall of the event loop in milliseconds, or -1 when the scan did not end in time.
// The documents are made in this process: a child process would fork a threaded program,
// which ThreadSanitizer cannot follow.
double LongestStall(int count, int cues) {
  EnsureApplication();
  QTemporaryDir dir;
  const std::string root = dir.path().toStdString();
  for (const char* sub : {"in", "out", "done"}) QDir(dir.path()).mkpath(sub);
  std::ofstream(root + "/capsel.ini")
      << "[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n"
         "[Processing]\nMinFileAge=0\n";
  for (int i = 0; i < count; ++i)
    std::ofstream(root + "/in/doc" + std::to_string(i) + ".xml")
        << bench::GenerateDocument(bench::Profile::kEbuTtD, cues, i);

  QtTimer timer;
  WindowOnDisk window(root, timer);
  frmMain& form = window.form;
  if (!form.Form_Load()) return -1;
  QListWidget* list = Control<QListWidget>(form, "lstActMon");
  form.show();
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0, longest = 0;
  bool finished = false;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.nsecsElapsed();
    longest = std::max(longest, now - last);
    last = now;
    const int lines = list->count();
    finished = lines > 0 && list->item(lines - 1)->text().endsWith(kFinished);
  });
  probe.start(0);
  while (!finished && clock.elapsed() < 120000) QApplication::processEvents(QEventLoop::AllEvents);
  probe.stop();
  EXPECT_EQ(QDir(dir.path() + "/done").entryList(QDir::Files).size(), count);
  return finished ? longest / 1e6 : -1;
}

TEST(Responsiveness, TheWindowKeepsItsEventLoopTurningDuringAScan) {
  const double many = LongestStall(5000, 30);
  const double large = LongestStall(1, 100000);
  std::printf("longest stall: %.1f ms with 5,000 documents, %.1f ms with one of 30 MB\n", many,
              large);
  EXPECT_GE(many, 0) << "the scan of 5,000 documents did not end";
  EXPECT_LT(many, 100);
  EXPECT_GE(large, 0) << "the scan of the large document did not end";
  EXPECT_LT(large, 100);
}

}  // namespace
}  // namespace capsel

// The window's event loop during a scan: converts generated documents through the shown window
// (offscreen unless QT_QPA_PLATFORM says otherwise) and prints the longest stretch in which
// the loop did not turn, from the start until the scan's closing line is in the list. A window
// that blocks during a scan shows the whole scan here; one that does not, a few milliseconds.
//   capsel_window_stall [FILES CUES]...     (default: 5000 30  1 100000)

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "app/engine.h"
#include "convert/messages.h"
#include "doc_generator.h"
#include "os/clock.h"
#include "os/file_system.h"
#include "os/qt_timer.h"
#include "ui/frm_main.h"
#include "ui/tray.h"

namespace {

// Milliseconds of the longest stall, or -1 when the scan did not end within two minutes or
// left a document unconverted.
double LongestStall(int count, int cues) {
  QTemporaryDir dir;
  const std::string root = dir.path().toStdString();
  for (const char* sub : {"in", "out", "done"}) QDir(dir.path()).mkpath(sub);
  std::ofstream(root + "/capsel.ini")
      << "[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\n"
         "OutPathXml=done\n[Processing]\nMinFileAge=0\n";
  for (int i = 0; i < count; ++i)
    std::ofstream(root + "/in/doc" + std::to_string(i) + ".xml")
        << capsel::bench::GenerateDocument(capsel::bench::Profile::kEbuTtD, cues, i);

  capsel::RealFileSystem fs;
  capsel::SystemClock clock;
  capsel::QtTimer timer;
  capsel::MessageBoxPrompter prompter;
  capsel::Engine engine({fs, clock, timer, prompter}, {root + "/capsel.ini", root});
  capsel::QtTrayIcon tray;
  capsel::frmMain form(engine, tray, prompter);
  if (!form.Form_Load()) return -1;
  auto* list = form.findChild<QListWidget*>("lstActMon");
  form.show();
  QElapsedTimer elapsed;
  elapsed.start();
  qint64 last = 0, longest = 0;
  bool finished = false;
  QTimer probe;
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = elapsed.nsecsElapsed();
    longest = std::max(longest, now - last);
    last = now;
    const int lines = list->count();
    finished = lines > 0 && list->item(lines - 1)->text().endsWith(capsel::msg::kScanFinished);
  });
  probe.start(0);
  while (!finished && elapsed.elapsed() < 120000)
    QApplication::processEvents(QEventLoop::AllEvents);
  probe.stop();
  const bool all = QDir(dir.path() + "/done").entryList(QDir::Files).size() == count;
  return finished && all ? longest / 1e6 : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {5000, 30, 1, 100000};
  int status = 0;
  for (size_t i = 0; i + 1 < sizes.size(); i += 2) {
    const double ms = LongestStall(sizes[i], sizes[i + 1]);
    if (ms < 0) {
      std::printf("%6d documents of %6d cues: the scan did not end\n", sizes[i], sizes[i + 1]);
      status = 1;
    } else {
      std::printf("%6d documents of %6d cues: longest stall of the event loop %.1f ms\n", sizes[i],
                  sizes[i + 1], ms);
    }
  }
  return status;
}

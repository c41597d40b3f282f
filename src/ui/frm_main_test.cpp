#include "ui/frm_main.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QShortcut>
#include <future>

#include "testing/fake_clock.h"
#include "testing/fake_file_system.h"
#include "testing/fake_timer.h"
#include "testing/fake_tray_icon.h"
#include "testing/recording_prompter.h"
#include "testing/test_application.h"
#include "testing/test_documents.h"

namespace capsel {
namespace {

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    fs.AddFile("/opt/capsel/capsel.ini", "[General]\nVersion=1\n");
    form.reset();
    engine = std::make_unique<Engine>(Engine::Deps{fs, clock, timer, prompter},
                                      SettingsSource{"/opt/capsel/capsel.ini", "/opt/capsel"});
    form = std::make_unique<frmMain>(*engine, tray, prompter);
    QObject::connect(form.get(), &frmMain::Ended, [this] { ++ended; });
    fraActMon = Control<QGroupBox>(*form, "fraActMon");
    lstActMon = Control<QListWidget>(*form, "lstActMon");
    cmdExit = Control<QPushButton>(*form, "cmdExit");
    lblAbout = Control<QLabel>(*form, "lblAbout");
  }
  void Start() {
    ASSERT_TRUE(form->Form_Load());
    form->show();
    QApplication::processEvents();
  }
  void Minimise() {
    form->showMinimized();
    QApplication::processEvents();
  }
  // Keeps the window's event loop turning until `done` holds, for ten seconds at most.
  static void WaitUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 5000 && !done(); ++i) {
      QApplication::processEvents();
      QThread::msleep(2);
    }
  }
  // The program ends once the scan thread is done.
  void WaitForEnd() {
    WaitUntil([this] { return ended != 0; });
  }
  void Press(QWidget* on, Qt::MouseButton button) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(on, &press);
  }

  FakeFileSystem fs;
  FakeClock clock;
  FakeTimer timer;
  RecordingPrompter prompter;
  FakeTrayIcon tray;
  int ended = 0;
  std::unique_ptr<Engine> engine;
  std::unique_ptr<frmMain> form;  // goes before the engine
  QGroupBox* fraActMon = nullptr;
  QListWidget* lstActMon = nullptr;
  QPushButton* cmdExit = nullptr;
  QLabel* lblAbout = nullptr;
};

TEST_F(WindowTest, StartsWithItsControlsAndTheStartupLines) {
  Start();
  EXPECT_EQ(lstActMon->count(), 5);  // the last: OutPathXml is the watch folder
  EXPECT_EQ(lstActMon->item(3)->text().mid(21).toStdString(),
            "Watchfolder for incoming XML EBU-TT files is: /opt/capsel/.");
}

// The list takes what the window gains or loses; Exit and About keep to the bottom.
TEST_F(WindowTest, ResizingKeepsTheControlsPlaced) {
  Start();
  auto corner_gap = [this] { return form->size() - QSize(cmdExit->x(), cmdExit->y()); };
  const QSize list = lstActMon->size(), gap = corner_gap();
  const int about_gap = form->height() - lblAbout->y();
  form->resize(form->width() + 100, form->height() + 60);
  QApplication::processEvents();
  EXPECT_EQ(lstActMon->size() - list, QSize(100, 60));
  EXPECT_EQ(corner_gap(), gap);
  EXPECT_EQ(form->height() - lblAbout->y(), about_gap);
  EXPECT_LE(lstActMon->geometry().bottom(), fraActMon->height()) << "the list stays in its frame";

  // Too low for the frame: it keeps its last valid height, the buttons follow the bottom.
  form->resize(300, 150);
  QApplication::processEvents();
  const QSize frame_small = fraActMon->size();
  form->resize(300, 40);
  QApplication::processEvents();
  EXPECT_EQ(fraActMon->height(), frame_small.height());
  EXPECT_LT(cmdExit->y(), 0) << "positions above the top are accepted";
}

TEST_F(WindowTest, MinimisingGoesToTheTrayAndAClickComesBack) {
  Start();
  Minimise();
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(form->InTray);
  EXPECT_TRUE(tray.shown);
  EXPECT_EQ(tray.shows, 1);
  EXPECT_TRUE(tray.tip.startsWith("capsel 1.0.0.8 "));
  QStringList offered;  // a right click on the icon offers Restore and Exit, under the name
  for (const QAction* action : Control<QMenu>(*form, "mnuIcon")->actions())
    if (action->isVisible() && !action->isSeparator()) offered << action->text();
  EXPECT_EQ(offered, QStringList({"capsel", "&Restore", "E&xit"}));

  tray.Click(TrayIcon::Click::kOther);  // moving over it, right or middle button
  EXPECT_TRUE(form->InTray);
  tray.Click(TrayIcon::Click::kLeft);
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->isMinimized());
  EXPECT_FALSE(form->InTray);
  EXPECT_FALSE(tray.shown);
  const QString first_tip = tray.tip;

  // A maximised window comes back normal.
  form->showMaximized();
  Minimise();
  EXPECT_EQ(tray.shows, 2);
  EXPECT_EQ(tray.tip, first_tip);
  tray.Click(TrayIcon::Click::kDouble);
  QApplication::processEvents();
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->isMaximized());
  EXPECT_FALSE(form->isMinimized());
  EXPECT_EQ(ended, 0);
}

TEST_F(WindowTest, WithoutATrayMinimisingOnlyMinimises) {
  tray.available = false;
  Start();
  Minimise();
  EXPECT_TRUE(form->isVisible()) << "the window must stay reachable";
  EXPECT_FALSE(form->InTray);
  EXPECT_EQ(tray.shows, 0);
}

TEST_F(WindowTest, EveryWayOutRemovesTheIconAndEnds) {
  struct Case {
    const char* name;
    bool in_tray;
    std::function<void(frmMain&)> act;
  };
  const Case cases[] = {
      {"Exit button", false, [](frmMain& f) { Control<QPushButton>(f, "cmdExit")->click(); }},
      {"close box", false, [](frmMain& f) { f.close(); }},
      {"close while in tray", true, [](frmMain& f) { f.close(); }},
      {"tray menu Exit", true, [](frmMain& f) { Control<QAction>(f, "mnuExit")->trigger(); }},
      {"tray menu Exit while shown", false,
       [](frmMain& f) { Control<QAction>(f, "mnuExit")->trigger(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    ended = 0;
    tray.shown = false;
    Start();
    if (c.in_tray) Minimise();
    ASSERT_EQ(form->InTray, c.in_tray);
    c.act(*form);
    WaitForEnd();
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(tray.shown);
    EXPECT_FALSE(timer.Enabled()) << "no tick after the end";
  }
}

TEST_F(WindowTest, RightButtonOnExitStopsPollingOnly) {
  Start();
  Press(lblAbout, Qt::RightButton);  // anywhere else it stops nothing
  int interval = -1, ticks = -1;
  RunOnScanThread(*form, [&] { interval = timer.Interval(); });
  EXPECT_GT(interval, 0);
  Press(cmdExit, Qt::RightButton);
  Press(cmdExit, Qt::MiddleButton);
  RunOnScanThread(*form, [&] {
    interval = timer.Interval();
    ticks = timer.Advance(60000);
  });
  EXPECT_EQ(interval, 0);
  EXPECT_EQ(ticks, 0);
  EXPECT_EQ(ended, 0);
  EXPECT_TRUE(form->isVisible());
}

// Exit while a scan converts b.xml, the first of two: the window goes at once, the program
// ends once b.xml is finished, and the scan's closing line is the stop line (c.xml waits for
// the next start).
TEST_F(WindowTest, ExitDuringAScanEndsAfterTheFileInProgress) {
  fs.AddFile("/opt/capsel/capsel.ini",
             "[General]\nVersion=1\n[Folders]\nInPath=in\nOutPathSrt=out\nOutPathXml=done\n"
             "[Processing]\nMinFileAge=0\n");
  for (const char* dir : {"/opt/capsel/out", "/opt/capsel/done"}) fs.AddDir(dir);
  for (const char* name : {"b", "c"})
    fs.AddFile(std::string("/opt/capsel/in/") + name + ".xml", testdoc::kHelloWorld);
  std::promise<void> reading_b, go_on;
  std::shared_future<void> go = go_on.get_future().share();
  fs.before_call = [&](FakeFileSystem::Op op, const std::string& path) {
    if (op != FakeFileSystem::Op::kRead || path != "/opt/capsel/in/b.xml") return;
    reading_b.set_value();
    go.wait();
  };
  Start();
  form->scans().Post([this] { timer.Advance(2000); });
  reading_b.get_future().wait();
  cmdExit->click();
  QApplication::processEvents();
  EXPECT_FALSE(form->isVisible()) << "the window goes at once";
  EXPECT_EQ(ended, 0) << "the program waits for the file in progress";
  go_on.set_value();
  WaitForEnd();
  ASSERT_EQ(ended, 1);
  EXPECT_TRUE(fs.Has("/opt/capsel/done/b.xml"));
  const QString stop_line = QString::fromStdString(msg::kScanStopped);
  WaitUntil([&] { return lstActMon->item(lstActMon->count() - 1)->text().endsWith(stop_line); });
  EXPECT_TRUE(lstActMon->item(lstActMon->count() - 1)->text().endsWith(stop_line));
}

TEST_F(WindowTest, AboutBoxShowsNameVersionAndNotices) {
  Start();
  QMouseEvent click(QEvent::MouseButtonPress, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(lblAbout, &click);
  ASSERT_EQ(prompter.shown.size(), 1u);
  EXPECT_EQ(prompter.shown[0].icon, Prompter::Icon::kInformation);
  EXPECT_EQ(prompter.shown[0].title, "About capsel");
  EXPECT_EQ(prompter.shown[0].text.substr(0, 16), "capsel 1.0.0.8\r\n");
  auto* about_key = form->findChild<QShortcut*>();  // Alt+A opens it too
  ASSERT_EQ(about_key->key(), QKeySequence("Alt+A"));
  emit about_key->activated();
  EXPECT_EQ(prompter.shown.size(), 2u);

  // From the tray menu the tip is written afresh once the box is closed.
  Minimise();
  tray.tip = "stale";
  prompter.on_show = [this] { EXPECT_EQ(tray.tip, "stale"); };
  form->mnuAbout_Click();
  EXPECT_TRUE(tray.tip.startsWith("capsel 1.0.0.8 "));
  QStringList offered;  // a right click on the icon offers Restore and Exit, under the name
  for (const QAction* action : Control<QMenu>(*form, "mnuIcon")->actions())
    if (action->isVisible() && !action->isSeparator()) offered << action->text();
  EXPECT_EQ(offered, QStringList({"capsel", "&Restore", "E&xit"}));
}

TEST(ListSink, KeepsTheNewest32767LinesAndShowsTheLast) {
  EnsureApplication();
  QListWidget list;
  list.resize(300, 200);
  list.show();
  {
    ListSink alone(&list);
    alone.WriteLine("a line alone shows too");
    QApplication::processEvents();
    EXPECT_EQ(list.count(), 1);
    list.clear();
  }
  ListSink sink(&list);
  for (int i = 0; i <= kMonitorMaxLines; ++i) sink.WriteLine(std::to_string(i));
  QApplication::processEvents();
  EXPECT_EQ(list.count(), 32767);
  QListWidgetItem* last = list.item(list.count() - 1);
  EXPECT_TRUE(list.viewport()->rect().contains(list.visualItemRect(last))) << "newest line in view";
  EXPECT_EQ(list.item(0)->text(), "1");
  EXPECT_EQ(list.item(list.count() - 1)->text(), "32767");
  EXPECT_TRUE(list.selectedItems().isEmpty());
}

}  // namespace
}  // namespace capsel

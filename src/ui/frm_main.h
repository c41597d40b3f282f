#pragma once

#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QWidget>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

#include "app/engine.h"
#include "app/scan_thread.h"
#include "ui/tray.h"

namespace capsel {

/// The activity monitor as a list box, capped like the monitor in memory. Lines may be
/// written on any thread; they reach the list on its own thread, in the order written.
class ListSink final : public QObject, public LogSink {
  Q_OBJECT
 public:
  explicit ListSink(QListWidget* list) : list_(list) {}
  void WriteLine(const std::string& line) override;

 private:
  Q_INVOKABLE void Drain();

  static constexpr qint64 kBatchGapMs = 40;
  QListWidget* list_;
  QElapsedTimer last_batch_;  // when the list last took a batch
  std::mutex mutex_;
  std::deque<std::string> pending_;  // at most a full monitor: older lines would drop anyway
  bool drain_posted_ = false;
};

/// Message boxes as QMessageBox.
class MessageBoxPrompter final : public Prompter {
 public:
  void ShowMessage(Icon icon, const std::string& title, const std::string& text) override;
};

/// The About box: its title and text.
std::string AboutTitle();
std::string AboutText();

/// The program's one window: the activity monitor, the Exit button and the About link over
/// the engine; minimised, it lives as a tray icon. The engine, the tray icon and the prompter
/// must outlive the window. Its controls carry their design names as object names
/// ("lstActMon", "cmdExit", ...).
class frmMain : public QWidget {
  Q_OBJECT
 public:
  /// `prompter` shows the About box; the engine has its own for the start-up's boxes.
  frmMain(Engine& engine, TrayIcon& tray, Prompter& prompter);
  /// Ends the scan thread after the file in progress; the engine keeps nothing of the window.
  ~frmMain() override;

  /// The start-up sequence; false when the program must end.
  bool Form_Load();
  /// Lays the controls out for the window's size; enters the tray when minimised.
  void Form_Resize();

  void mnuRestore_Click();
  void mnuAbout_Click();
  void mnuExit_Click();
  void cmdExit_Click();
  void lblAbout_Click();
  void ModifyTrayIcon();

  /// The thread of the scans, once Form_Load has started it.
  ScanThread& scans() { return scans_; }
  int TwipsToPixels(int twips) const;
  int PixelsToTwips(int pixels) const;

  // The window's field of the settings record. It lives here, on the window's thread, as the
  // rest of the record belongs to the scan thread once it runs.
  bool InTray = false;

 signals:
  /// The window has gone and the scans have stopped: the program should end now.
  void Ended();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;  // Form_Unload
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void CreateTrayMenu();
  void EnterTray();
  void End();

  Engine& engine_;
  TrayIcon& tray_;
  Prompter& prompter_;
  QGroupBox* fraActMon = nullptr;
  QListWidget* lstActMon = nullptr;
  QPushButton* cmdExit = nullptr;
  QLabel* lblAbout = nullptr;
  QMenu* mnuIcon = nullptr;
  QAction* mnuLbl = nullptr;
  QAction* mnuRestore = nullptr;
  QAction* mnuAbout = nullptr;
  QAction* mnuSep3 = nullptr;
  QAction* mnuExit = nullptr;
  std::unique_ptr<ListSink> list_sink_;
  double dpi_ = 96;
  bool ended_ = false;
  std::atomic<bool> stop_{false};  // read by the scan between two files
  ScanThread scans_;               // last: it ends before what its scans use goes away
};

}  // namespace capsel

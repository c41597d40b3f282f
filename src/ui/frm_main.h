#pragma once

#include <QGroupBox>
#include <QListWidget>
#include <QWidget>
#include <memory>

#include "app/engine.h"
#include "convert/qt_timer.h"

namespace capsel {

/// The activity monitor as a list box, capped like the monitor in memory.
class ListSink final : public LogSink {
 public:
  explicit ListSink(QListWidget* list) : list_(list) {}
  void WriteLine(const std::string& line) override;

 private:
  QListWidget* list_;
};

/// The start-up's message boxes as QMessageBox.
class MessageBoxPrompter final : public Prompter {
 public:
  void ShowMessage(Icon icon, const std::string& title, const std::string& text) override;
};

/// The program's one window: the activity monitor over the engine.
class frmMain : public QWidget {
  Q_OBJECT
 public:
  explicit frmMain(SettingsSource source);
  ~frmMain() override;

  /// The start-up sequence; false when the program must end.
  bool Form_Load();

  Engine& engine() { return *engine_; }
  QListWidget* lstActMon = nullptr;
  QGroupBox* fraActMon = nullptr;

 private:
  RealFileSystem fs_;
  SystemClock clock_;
  QtTimer tmrCheck;
  MessageBoxPrompter prompter_;
  std::unique_ptr<ListSink> list_sink_;
  std::unique_ptr<Engine> engine_;
};

}  // namespace capsel

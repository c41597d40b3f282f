#include "ui/frm_main.h"

#include <QMessageBox>
#include <QVBoxLayout>

namespace capsel {

void ListSink::WriteLine(const std::string& line) {
  if (list_->count() > kMonitorMaxLines - 1) delete list_->takeItem(0);
  list_->addItem(QString::fromStdString(line));
  // Scroll the newest line into view without leaving it highlighted.
  list_->setCurrentRow(list_->count() - 1);
  list_->clearSelection();
  list_->scrollToBottom();
}

void MessageBoxPrompter::ShowMessage(Icon icon, const std::string& title,
                                     const std::string& text) {
  QMessageBox::Icon qt_icon = icon == Icon::kError     ? QMessageBox::Critical
                              : icon == Icon::kWarning ? QMessageBox::Warning
                                                       : QMessageBox::Information;
  QMessageBox box(qt_icon, QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Ok);
  box.exec();
}

frmMain::frmMain(SettingsSource source) {
  fraActMon = new QGroupBox(tr("Activity Monitor"), this);
  lstActMon = new QListWidget(fraActMon);
  lstActMon->setUniformItemSizes(true);  // keeps a full monitor of 32767 lines cheap
  auto* frame_layout = new QVBoxLayout(fraActMon);
  frame_layout->addWidget(lstActMon);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(fraActMon);
  resize(754, 348);

  list_sink_ = std::make_unique<ListSink>(lstActMon);
  engine_ = std::make_unique<Engine>(Engine::Deps{fs_, clock_, tmrCheck, prompter_},
                                     std::move(source));
  engine_->log().AddSink(list_sink_.get());
}

frmMain::~frmMain() = default;

bool frmMain::Form_Load() {
  setWindowTitle(QString::fromStdString(CaptionText()));
  return engine_->Startup();
}

}  // namespace capsel

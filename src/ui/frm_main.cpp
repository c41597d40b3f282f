#include "ui/frm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QShortcut>
#include <QTimer>

#include "version.h"

// The icon lives in a static library, where the linker would drop its resources unasked.
static void InitResources() { Q_INIT_RESOURCE(capsel); }

namespace capsel {

namespace {
// Design sizes, in twips (1/1440 inch; 15 twips are one pixel at 96 dpi).
constexpr int kClientWidth = 11310, kClientHeight = 5220;

// The tray icon's tip.
QString TrayTip() { return QString::fromStdString(CaptionText()); }

// Gives a control its design name, by which tests and tools find it.
template <typename T>
T* Named(T* control, const char* name) {
  control->setObjectName(name);
  return control;
}
}  // namespace

void ListSink::WriteLine(const std::string& line) {
  bool post = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_.size() > kMonitorMaxLines - 1) pending_.pop_front();
    pending_.push_back(line);
    post = !drain_posted_;
    drain_posted_ = true;
  }
  // One queued call takes all lines written until it runs.
  if (post) QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

void ListSink::Drain() {
  // Each batch costs the list a few milliseconds whatever its size (a full list lays out
  // anew), so during a scan batches come at most every kBatchGapMs: a scan's lines then take
  // little of the window's time, and each line still shows within a fraction of a second.
  if (last_batch_.isValid() && last_batch_.elapsed() < kBatchGapMs) {
    QTimer::singleShot(kBatchGapMs - last_batch_.elapsed(), this, &ListSink::Drain);
    return;
  }
  last_batch_.start();
  std::deque<std::string> lines;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lines.swap(pending_);
    drain_posted_ = false;
  }
  QStringList texts;
  texts.reserve(static_cast<qsizetype>(lines.size()));
  for (const std::string& line : lines) texts << QString::fromStdString(line);
  const int overflow = list_->count() + static_cast<int>(texts.size()) - kMonitorMaxLines;
  if (overflow > 0) list_->model()->removeRows(0, overflow);
  list_->addItems(texts);
  // The newest line is scrolled into view, nothing selected; once for the whole batch.
  list_->scrollToBottom();
}

void MessageBoxPrompter::ShowMessage(Icon icon, const std::string& title, const std::string& text) {
  QMessageBox::Icon qt_icon = icon == Icon::kError     ? QMessageBox::Critical
                              : icon == Icon::kWarning ? QMessageBox::Warning
                                                       : QMessageBox::Information;
  QMessageBox box(qt_icon, QString::fromStdString(title), QString::fromStdString(text),
                  QMessageBox::Ok);
  box.exec();
}

std::string AboutTitle() { return std::string("About ") + kProductName; }

std::string AboutText() {
  return std::string(kProductName) + " " + kVersionText + "\r\n" + kCopyright + "\r\n\r\n" +
         kLicence;
}

frmMain::frmMain(Engine& engine, TrayIcon& tray, Prompter& prompter)
    : engine_(engine), tray_(tray), prompter_(prompter) {
  InitResources();
  dpi_ = logicalDpiY() > 0 ? logicalDpiY() : 96;
  CreateControls();
  CreateTrayMenu();
  setObjectName("frmMain");
  tray_.SetMenu(mnuIcon);
  tray_.OnClick([this](TrayIcon::Click click) {
    if (click == TrayIcon::Click::kLeft || click == TrayIcon::Click::kDouble) mnuRestore_Click();
  });
  list_sink_ = std::make_unique<ListSink>(lstActMon);
  engine_.log().AddSink(list_sink_.get());
}

frmMain::~frmMain() {
  // The scan thread ends after the file in progress (scans_ goes first), and the engine, the
  // tray icon and the prompter, which outlive the window, keep nothing that points into it.
  stop_.store(true);
  tray_.OnClick({});
  tray_.SetMenu(nullptr);
  scans_.Post([this] {
    engine_.timer().SetEnabled(false);
    engine_.SetStopFlags(nullptr);
    engine_.log().RemoveSink(list_sink_.get());
  });
}

int frmMain::TwipsToPixels(int twips) const {
  return static_cast<int>(std::lround(twips * dpi_ / 1440.0));
}

int frmMain::PixelsToTwips(int pixels) const {
  return static_cast<int>(std::lround(pixels * 1440.0 / dpi_));
}

void frmMain::CreateControls() {
  setWindowIcon(QIcon(":/capsel.png"));
  auto place = [this](QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                   TwipsToPixels(height));
  };
  fraActMon = Named(new QGroupBox(tr("Activity Monitor"), this), "fraActMon");
  place(fraActMon, 120, 120, 11010, 4455);
  lstActMon = Named(new QListWidget(fraActMon), "lstActMon");
  lstActMon->setUniformItemSizes(true);  // keeps a full monitor of 32767 lines cheap
  lstActMon->setSelectionMode(QAbstractItemView::SingleSelection);
  place(lstActMon, 120, 315, 10710, 3960);

  cmdExit = Named(new QPushButton(tr("&Exit"), this), "cmdExit");
  place(cmdExit, 9915, 4665, 1215, 375);
  connect(cmdExit, &QPushButton::clicked, this, &frmMain::cmdExit_Click);
  cmdExit->installEventFilter(this);  // the right button stops the polling

  // The About link: navy, bold and underlined, with a pointing hand; Alt+A opens it too.
  lblAbout = Named(new QLabel(tr("About..."), this), "lblAbout");
  QFont link_font = lblAbout->font();
  link_font.setBold(true);
  link_font.setUnderline(true);
  lblAbout->setFont(link_font);
  QPalette palette = lblAbout->palette();
  palette.setColor(QPalette::WindowText, QColor(0, 0, 128));
  lblAbout->setPalette(palette);
  lblAbout->setCursor(Qt::PointingHandCursor);
  lblAbout->installEventFilter(this);
  place(lblAbout, 240, 4800, 1575, 255);
  auto* about_key = new QShortcut(QKeySequence(tr("Alt+A")), this);
  connect(about_key, &QShortcut::activated, this, &frmMain::lblAbout_Click);

  setTabOrder(lstActMon, cmdExit);
  resize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight));
}

void frmMain::CreateTrayMenu() {
  mnuIcon = Named(new QMenu(tr("Menu"), this), "mnuIcon");
  mnuLbl = Named(mnuIcon->addAction(QString::fromUtf8(kProductName)), "mnuLbl");
  mnuLbl->setEnabled(false);
  mnuIcon->addSeparator();
  mnuRestore =
      Named(mnuIcon->addAction(tr("&Restore"), this, &frmMain::mnuRestore_Click), "mnuRestore");
  mnuIcon->addSeparator();
  mnuAbout = Named(mnuIcon->addAction(tr("&About..."), this, &frmMain::mnuAbout_Click), "mnuAbout");
  mnuAbout->setVisible(false);
  mnuSep3 = Named(mnuIcon->addSeparator(), "mnuSep3");
  mnuSep3->setVisible(false);
  mnuExit = Named(mnuIcon->addAction(tr("E&xit"), this, &frmMain::mnuExit_Click), "mnuExit");
}

bool frmMain::Form_Load() {
  setWindowTitle(QString::fromStdString(CaptionText()));
  if (!engine_.Startup()) return false;
  // From here on the timer, the log and the settings record belong to the scan thread.
  engine_.SetStopFlags(&stop_);
  scans_.Start(engine_.timer().object());
  return true;
}

void frmMain::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Form_Resize();
}

void frmMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) Form_Resize();
}

void frmMain::Form_Resize() {
  const bool minimised = windowState() & Qt::WindowMinimized;
  if (!minimised) {
    // W and H: the window's outer size. A size that would be negative is skipped, as the
    // controls refuse it; positions follow the edges even above the window's top.
    const QRect outer = frameGeometry();
    const int w = PixelsToTwips(outer.width()), h = PixelsToTwips(outer.height());
    if (w - 480 >= 0) fraActMon->resize(TwipsToPixels(w - 480), fraActMon->height());
    if (h - 1335 >= 0) fraActMon->resize(fraActMon->width(), TwipsToPixels(h - 1335));
    const int list_width = PixelsToTwips(fraActMon->width()) - 300;
    const int list_height = PixelsToTwips(fraActMon->height()) - 490;
    if (list_width >= 0) lstActMon->resize(TwipsToPixels(list_width), lstActMon->height());
    if (list_height >= 0) lstActMon->resize(lstActMon->width(), TwipsToPixels(list_height));
    cmdExit->move(TwipsToPixels(w - 1590), TwipsToPixels(h - 1110));
    lblAbout->move(lblAbout->x(), TwipsToPixels(h - 990));
    return;
  }
  if (!InTray) EnterTray();
}

void frmMain::EnterTray() {
  // Without a tray host the icon could not be shown and the window could never come back:
  // then minimising only minimises, and the window stays on the task bar.
  if (!tray_.Available()) return;
  // showMinimized() makes the window visible again right after the state change that
  // brought us here, so the hiding waits for the event loop.
  QTimer::singleShot(0, this, [this] {
    if (InTray) hide();
  });
  InTray = true;
  tray_.Show(windowIcon(), TrayTip());
  ModifyTrayIcon();
}

void frmMain::ModifyTrayIcon() { tray_.SetTip(TrayTip()); }

void frmMain::mnuRestore_Click() {
  showNormal();
  raise();
  activateWindow();
  InTray = false;
  tray_.Remove();
}

void frmMain::lblAbout_Click() {
  prompter_.ShowMessage(Prompter::Icon::kInformation, AboutTitle(), AboutText());
}

void frmMain::mnuAbout_Click() {
  lblAbout_Click();
  ModifyTrayIcon();
}

void frmMain::cmdExit_Click() {
  if (InTray) tray_.Remove();
  End();
}

void frmMain::mnuExit_Click() {
  tray_.Remove();
  close();
}

void frmMain::closeEvent(QCloseEvent* event) {
  if (InTray) tray_.Remove();
  event->accept();
  End();
}

void frmMain::End() {
  // No tick and no further scan after this. A scan in progress stops after its file, with
  // the same line as a stop by signal without the window, never in the middle of a file; the
  // window goes at once and the program follows when the scan thread has ended.
  if (ended_) return;
  ended_ = true;
  hide();
  stop_.store(true);
  scans_.Post([this] { engine_.timer().SetEnabled(false); });
  scans_.Quit([this] { emit Ended(); });
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (watched == cmdExit && mouse->button() == Qt::RightButton) {
      // No further scan until the next start; a scan in progress runs to its end.
      scans_.Post([this] { engine_.timer().SetInterval(0); });
      return true;
    }
    if (watched == lblAbout && mouse->button() == Qt::LeftButton) {
      lblAbout_Click();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace capsel

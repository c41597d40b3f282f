#pragma once

#include <QIcon>
#include <QMenu>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>

namespace capsel {

/// The notification-area icon, as the window uses it. The window never touches
/// QSystemTrayIcon itself, so its states can be tested with a fake.
class TrayIcon {
 public:
  enum class Click { kLeft, kDouble, kOther };
  virtual ~TrayIcon() = default;
  /// True when a tray host can show an icon now.
  virtual bool Available() const = 0;
  virtual void Show(const QIcon& icon, const QString& tip) = 0;
  virtual void SetTip(const QString& tip) = 0;
  virtual void Remove() = 0;
  /// The menu the icon opens (the tray menu); null for none.
  virtual void SetMenu(QMenu* menu) = 0;
  /// What runs when the icon is clicked.
  void OnClick(std::function<void(Click)> on_click) { on_click_ = std::move(on_click); }

 protected:
  void Clicked(Click click) {
    if (on_click_) on_click_(click);
  }

 private:
  std::function<void(Click)> on_click_;
};

/// The real icon, with the tray menu as its context menu.
class QtTrayIcon final : public TrayIcon {
 public:
  QtTrayIcon();
  bool Available() const override { return QSystemTrayIcon::isSystemTrayAvailable(); }
  void Show(const QIcon& icon, const QString& tip) override;
  void SetTip(const QString& tip) override { icon_.setToolTip(tip); }
  void Remove() override { icon_.hide(); }
  void SetMenu(QMenu* menu) override { icon_.setContextMenu(menu); }

 private:
  QSystemTrayIcon icon_;
};

}  // namespace capsel

#include "ui/tray.h"

namespace capsel {

QtTrayIcon::QtTrayIcon() {
  QObject::connect(&icon_, &QSystemTrayIcon::activated,
                   [this](QSystemTrayIcon::ActivationReason r) {
                     switch (r) {
                       case QSystemTrayIcon::Trigger:
                         Clicked(Click::kLeft);
                         break;
                       case QSystemTrayIcon::DoubleClick:
                         Clicked(Click::kDouble);
                         break;
                       default:
                         Clicked(Click::kOther);  // the context menu opens by itself
                         break;
                     }
                   });
}

void QtTrayIcon::Show(const QIcon& icon, const QString& tip) {
  icon_.setIcon(icon);
  icon_.setToolTip(tip);
  icon_.show();
}

}  // namespace capsel

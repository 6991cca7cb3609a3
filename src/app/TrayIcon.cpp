//===- app/TrayIcon.cpp - The notification-area icon ----------------------===//

#include "app/TrayIcon.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace korvex::app {

CTrayIcon::CTrayIcon(const QIcon& icon, const QString& toolTip, QObject* parent)
    : QObject(parent), icon_(new QSystemTrayIcon(icon, this)), menu_(new QMenu) {
  icon_->setToolTip(toolTip);
  menu_->addAction(tr("Open ZEPH300"), this, &CTrayIcon::openRequested);
  menu_->addSeparator();
  menu_->addAction(tr("L&ogout"), this, &CTrayIcon::logoutRequested);
  menu_->addAction(tr("&Options"), this, &CTrayIcon::optionsRequested);
  menu_->addSeparator();
  menu_->addAction(tr("&Exit"), this, &CTrayIcon::exitRequested);
  icon_->setContextMenu(menu_);
  connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) emit openRequested();
  });
}

// The menu has no parent widget (a tray menu must not be a child of the
// window it can reopen), so it is deleted here.
CTrayIcon::~CTrayIcon() { delete menu_; }

void CTrayIcon::SetShown(bool shown) { icon_->setVisible(shown && QSystemTrayIcon::isSystemTrayAvailable()); }

bool CTrayIcon::Shown() const { return icon_->isVisible(); }

bool CTrayIcon::ShowMessage(const QString& title, const QString& text, bool warning) {
  if (!Shown()) return false;
  icon_->showMessage(title, text, warning ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information);
  return true;
}

}  // namespace korvex::app

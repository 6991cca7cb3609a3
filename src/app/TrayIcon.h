//===- app/TrayIcon.h - The notification-area icon --------------*- C++ -*-===//
///
/// The icon and its menu (open the window, log out, options, exit). Where
/// the desktop has no tray the icon is never shown and the window simply
/// stays open when closed. It also carries the fallback for desktop
/// notifications: the icon's own balloon message.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <QObject>

class QIcon;
class QMenu;
class QSystemTrayIcon;

namespace korvex::app {

class CTrayIcon : public QObject {
  Q_OBJECT
 public:
  CTrayIcon(const QIcon& icon, const QString& toolTip, QObject* parent = nullptr);
  ~CTrayIcon() override;

  /// Shows or removes the icon; shown stays false without a tray.
  void SetShown(bool shown);
  [[nodiscard]] bool Shown() const;
  [[nodiscard]] QMenu* Menu() const noexcept { return menu_; }
  /// The balloon message; false when the icon is not shown.
  bool ShowMessage(const QString& title, const QString& text, bool warning);

 signals:
  void openRequested();
  void logoutRequested();
  void optionsRequested();
  void exitRequested();

 private:
  QSystemTrayIcon* icon_;
  QMenu* menu_;
};

}  // namespace korvex::app

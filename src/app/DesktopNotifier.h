//===- app/DesktopNotifier.h - Notifications of finished transfers -*- C++ -*-===//
///
/// Tells the user that a transfer family completed or stopped on an error,
/// through the desktop's notification service (org.freedesktop.Notifications
/// on the session bus) when one answers, else through the tray icon's
/// message. The bus call is asynchronous: the GUI thread never waits for it.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <QObject>
#include <QString>

namespace korvex::app {

class CTrayIcon;

class DesktopNotifier : public QObject {
  Q_OBJECT
 public:
  /// `tray` may be null; it must outlive the notifier otherwise.
  explicit DesktopNotifier(CTrayIcon* tray, QObject* parent = nullptr);

  void Notify(const QString& title, const QString& text, bool succeeded);

 signals:
  /// For whoever wants to know how the user was told: "bus", "tray" or
  /// "none" (no service and no tray icon).
  void delivered(const QString& route);

 private:
  void Fallback(const QString& title, const QString& text, bool succeeded);

  CTrayIcon* tray_;
};

}  // namespace korvex::app

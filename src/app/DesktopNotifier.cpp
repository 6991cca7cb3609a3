//===- app/DesktopNotifier.cpp - Notifications of finished transfers ------===//

#include "app/DesktopNotifier.h"

#include "app/TrayIcon.h"
#include "foundation/LogMgr.h"

#include <QCoreApplication>
#include <QVariantMap>

#ifdef KORVEX_HAVE_QTDBUS
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#endif

namespace korvex::app {
namespace {

constexpr int kExpireMs = 10000;

}  // namespace

DesktopNotifier::DesktopNotifier(CTrayIcon* tray, QObject* parent) : QObject(parent), tray_(tray) {}

void DesktopNotifier::Notify(const QString& title, const QString& text, bool succeeded) {
#ifdef KORVEX_HAVE_QTDBUS
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (bus.isConnected()) {
    QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                                       "org.freedesktop.Notifications", "Notify");
    const QString icon = succeeded ? "dialog-information" : "dialog-warning";
    call << QCoreApplication::applicationName() << uint(0) << icon << title << text << QStringList()
         << QVariantMap{{"urgency", QVariant::fromValue(uchar(succeeded ? 1 : 2))}} << kExpireMs;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, title, text, succeeded] {
              watcher->deleteLater();
              if (watcher->isError()) {
                LogMgr::Get().Debug("DesktopNotifier", "no notification service: %s",
                                    watcher->error().message().toStdString().c_str());
                Fallback(title, text, succeeded);
              } else {
                emit delivered("bus");
              }
            });
    return;
  }
#endif
  Fallback(title, text, succeeded);
}

void DesktopNotifier::Fallback(const QString& title, const QString& text, bool succeeded) {
  emit delivered(tray_ && tray_->ShowMessage(title, text, !succeeded) ? "tray" : "none");
}

}  // namespace korvex::app

//===- app/WaitIndicator.cpp - What the user sees while a call waits ------===//

#include "app/WaitIndicator.h"

#include "foundation/LogMgr.h"
#include "store/WaitPump.h"

#include <QApplication>
#include <QCloseEvent>
#include <QProgressDialog>
#include <QTimer>
#include <QWindow>

namespace korvex::app {
namespace {

WaitIndicator* gIndicator = nullptr;

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::Drop:
    case QEvent::DragEnter:
    case QEvent::DragMove:
      return true;
    default:
      return false;
  }
}

}  // namespace

void WaitIndicator::Install() {
  if (!gIndicator) gIndicator = new WaitIndicator;
  SetWaitPumpHook([] {
    if (gIndicator) gIndicator->Pump();
  });
}

void WaitIndicator::Uninstall() {
  SetWaitPumpHook({});
  delete gIndicator;
  gIndicator = nullptr;
}

WaitIndicator::WaitIndicator() : settle_(new QTimer(this)) {
  // Checked from the event loop: when it runs with no wait under way, the
  // last wait has ended and the cursor and window go.
  settle_->setInterval(50);
  connect(settle_, &QTimer::timeout, this, &WaitIndicator::Settle);
}

WaitIndicator::~WaitIndicator() { Settle(); }

void WaitIndicator::Pump() {
  if (!busy_) {
    busy_ = true;
    modalBefore_ = QApplication::activeModalWidget();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    qApp->installEventFilter(this);
    settle_->start();
  }
  const auto age = PumpingWaitAge();
  if (!dialog_ && age && age->count() >= kShowAfterMs) {
    dialog_ = new QProgressDialog(tr("Waiting for the service..."), tr("Cancel"), 0, 0,
                                  QApplication::activeWindow());
    dialog_->setObjectName("waitDialog");
    dialog_->setWindowTitle(tr("Please wait"));
    dialog_->setWindowModality(Qt::ApplicationModal);
    dialog_->setMinimumDuration(0);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    const auto giveUp = [] {
      LogMgr::Get().Info("WaitIndicator", "The user gave up waiting for the service");
      (void)CancelPumpingWaits();
    };
    // The button, and Escape or the window's close box.
    connect(dialog_, &QProgressDialog::canceled, this, giveUp);
    connect(dialog_, &QDialog::rejected, this, giveUp);
    dialog_->show();
    // The cursor over the Cancel button says it can be pressed.
    QApplication::changeOverrideCursor(Qt::ArrowCursor);
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitIndicator::Settle() {
  if (PumpingWaitDepth() > 0 || !busy_) return;
  busy_ = false;
  settle_->stop();
  qApp->removeEventFilter(this);
  QApplication::restoreOverrideCursor();
  if (dialog_) {
    dialog_->hide();
    dialog_->deleteLater();
    dialog_ = nullptr;
  }
}

bool WaitIndicator::InsideDialog(QObject* watched) const {
  // Besides the waiting window, a modal dialog opened while the wait runs
  // (by a timer or a queued signal) takes input: it runs its own loop inside
  // this pump, and the wait cannot end before the dialog does.
  QWidget* modal = QApplication::activeModalWidget();
  const QWidget* open[] = {dialog_.data(), modal != modalBefore_ ? modal : nullptr};
  for (const QWidget* allowed : open) {
    if (!allowed) continue;
    for (QObject* o = watched; o; o = o->parent()) {
      if (o == allowed) return true;
    }
    // The top-level window as the platform delivers to it.
    if (auto* window = qobject_cast<QWindow*>(watched); window && window == allowed->windowHandle()) return true;
  }
  return false;
}

bool WaitIndicator::eventFilter(QObject* watched, QEvent* event) {
  if (PumpingWaitDepth() == 0) return false;
  if (IsUserInput(event->type()) && !InsideDialog(watched)) return true;  // dropped, never replayed
  // Closing a window in the middle of a call would pull its stores away
  // from under the wait: refused until the call has ended or been cancelled.
  if (event->type() == QEvent::Close && event->spontaneous() && !InsideDialog(watched)) {
    event->ignore();
    return true;
  }
  return false;
}

}  // namespace korvex::app

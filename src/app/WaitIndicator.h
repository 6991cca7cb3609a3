//===- app/WaitIndicator.h - What the user sees while a call waits -*- C++ -*-===//
///
/// The pump that store calls run on the GUI thread while they wait for the
/// service. The windows keep painting and queued signals keep flowing; what
/// the user does meanwhile is dropped, never kept for later: a click that
/// arrived during a six-second listing belongs to a pane that has changed
/// since, and replayed afterwards it would act on the wrong row.
///
///   idle --wait starts--> busy cursor --0.5 s--> "Waiting for the service"
///     ^                       |                   with Cancel (modal)
///     |                       v                         |
///     +---- last wait ends ---+<-- wait ends / Cancel ---+
///
/// Cancel gives up every wait under way: their back ends give the requests
/// up on the wire, the calls report E_ABORT, and the panes say that the
/// work was cancelled rather than that it failed.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <QObject>
#include <QPointer>

class QProgressDialog;
class QTimer;
class QWidget;

namespace korvex::app {

class WaitIndicator : public QObject {
  Q_OBJECT
 public:
  /// Installs the pump for the calling (GUI) thread; one per process.
  static void Install();
  /// Removes the pump and whatever it shows.
  static void Uninstall();

  /// How long a wait runs before the small progress window appears.
  static constexpr int kShowAfterMs = 500;

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  WaitIndicator();
  ~WaitIndicator() override;
  void Pump();
  void Settle();
  [[nodiscard]] bool InsideDialog(QObject* watched) const;

  bool busy_ = false;
  QPointer<QProgressDialog> dialog_;
  /// The modal dialog that was open when the waiting began, if any.
  QPointer<QWidget> modalBefore_;
  QTimer* settle_;
};

}  // namespace korvex::app

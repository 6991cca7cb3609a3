//===- app/NetCheckDlg.h - The network check dialog -------------*- C++ -*-===//
///
/// Runs the network check and shows its outcome. The check runs on its own
/// thread; its result comes back as a queued call.
///
///   checking (dots move, "Cancel") --Cancel--> cancelling (button disabled)
///       |                                            |
///       +----------------- result -------------------+--> finished ("Ok" closes)
///
//===----------------------------------------------------------------------===//
#pragma once

#include <QDialog>

#include "update/NetworkCheck.h"

class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace korvex::app {

class CNetCheckDlg : public QDialog {
  Q_OBJECT
 public:
  /// Starts the check at once, against the deployment's web site.
  explicit CNetCheckDlg(QWidget* parent = nullptr);
  /// Cancels a check still running and waits for its thread.
  ~CNetCheckDlg() override;

 private:
  void OnButton();
  void OnCheckDone(const NetworkCheckResult& result);
  void Animate();

  QPlainTextEdit* text_;
  QPushButton* button_;
  QTimer* animation_;
  int dots_ = 0;
  bool running_ = false;
  NetworkCheck check_;  // last: its thread ends before the widgets go
};

/// Adds "Network Check..." to a "Tools" menu of `menuBar`.
void AddNetworkCheckMenu(QMenuBar& menuBar, QWidget* parent);

}  // namespace korvex::app

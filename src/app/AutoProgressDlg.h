//===- app/AutoProgressDlg.h - The wait window of slow start-up work -*- C++ -*-===//
///
/// A small window with a text and a moving row of dots, shown while work
/// runs on a worker thread. It stays hidden for its first second, so that
/// work that ends quickly shows nothing at all.
///
///   hidden --1 s--> shown, dots move every 500 ms --work done--> closed
///      |                                                          ^
///      +------------------------work done-------------------------+
///
//===----------------------------------------------------------------------===//
#pragma once

#include <functional>

#include <QDialog>

#include "platform/HResult.h"

class QLabel;
class QTimer;

namespace korvex::app {

class CAutoProgressDlg : public QDialog {
  Q_OBJECT
 public:
  CAutoProgressDlg(const QString& title, const QString& text, QWidget* parent = nullptr);

  /// Runs `work` on a worker thread while this window waits (and shows
  /// itself after a second); returns what `work` returned. The caller's
  /// events keep being processed meanwhile.
  [[nodiscard]] HRESULT Run(std::function<HRESULT()> work);

 private:
  void Animate();

  QString text_;
  QLabel* label_;
  QTimer* animation_;
  int dots_ = 0;
};

}  // namespace korvex::app

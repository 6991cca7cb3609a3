//===- app/LinkDlg.h - A file's download link -------------------*- C++ -*-===//
///
/// Shows the link of one cloud file (address, validity, downloads, days
/// left) and lets the user copy it, give it a new validity or stop it.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "store/DataStore.h"

#include <QDialog>

class QLabel;

namespace korvex::app {

class CLinkDlg : public QDialog {
  Q_OBJECT
 public:
  CLinkDlg(DataStore& store, const ItemInfo& file, const LinkDetail& detail, QWidget* parent = nullptr);

 private:
  void Show(const LinkDetail& detail);
  void ChangeValidity();
  void StopLink();

  DataStore& store_;
  ItemInfo file_;
  QLabel* text_;
  QLabel* status_;
};

}  // namespace korvex::app

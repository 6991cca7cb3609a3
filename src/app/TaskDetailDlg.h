//===- app/TaskDetailDlg.h - One transfer family in detail ------*- C++ -*-===//
///
/// The "Transfer" dialog of the list's "View Detail": the family's ends, its
/// kind and state, how many tasks are left and how often the current one was
/// retried, and the tasks still to do. It reads the family once a second
/// while open; the family may finish or be removed meanwhile, which the
/// shared pointer survives.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "tasks/TaskFamily.h"

#include <QDialog>

#include <memory>

class QLabel;
class QListWidget;

namespace korvex::app {

class CTaskDetailDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CTaskDetailDlg(std::shared_ptr<TaskFamily> family, QWidget* parent = nullptr);

  /// Reads the family again.
  void Refresh();

 private:
  std::shared_ptr<TaskFamily> family_;
  QLabel* name_;
  QLabel* netUrl_;
  QLabel* localPath_;
  QLabel* type_;
  QLabel* state_;
  QLabel* unfinished_;
  QLabel* retry_;
  QListWidget* tasks_;
};

}  // namespace korvex::app

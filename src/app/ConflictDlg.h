//===- app/ConflictDlg.h - Asking about a name that is taken -*- C++ -*-===//
///
/// A transfer whose target name exists stops and waits for the user. The
/// dialog names the file and the folder and offers Replace, Keep Both
/// (the file goes on as "name (2).ext") and Skip, with "Do this for all
/// conflicts" for the rest of that transfer. The answer becomes the
/// family's conflict answer and the family goes on; closing the dialog
/// leaves it stopped, where Start asks again.
///
/// CConflictAsker shows one dialog at a time: conflicts of several
/// transfers queue behind each other.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "tasks/ConflictAnswers.h"

#include <QDialog>

#include <cstdint>
#include <deque>
#include <optional>

class QCheckBox;

namespace korvex {
class TaskManager;
}

namespace korvex::app {

class CConflictDlg : public QDialog {
  Q_OBJECT
 public:
  /// `name` is the file's name, `folder` where it exists, `upload` whether
  /// the folder is on the service.
  CConflictDlg(const QString& name, const QString& folder, bool upload, QWidget* parent = nullptr);

  /// The choice, once a button was pressed.
  [[nodiscard]] std::optional<ConflictChoice> Choice() const noexcept { return choice_; }
  [[nodiscard]] bool ForAll() const;

 private:
  std::optional<ConflictChoice> choice_;
  QCheckBox* forAll_;
};

class CConflictAsker : public QObject {
  Q_OBJECT
 public:
  /// `manager` must outlive the asker; dialogs open over `parent`.
  CConflictAsker(TaskManager& manager, QWidget* parent);

  /// Asks about the family's conflict, now or after the conflicts before it.
  void Ask(std::uint32_t familyId);

  /// Applies `choice` to a family stopped on an existing name and lets it
  /// go on; false when it no longer waits for an answer.
  static bool Answer(TaskManager& manager, std::uint32_t familyId, ConflictChoice choice, bool forAll);

 private:
  void AskNext();

  TaskManager& manager_;
  QWidget* parent_;
  std::deque<std::uint32_t> waiting_;
  bool asking_ = false;
};

}  // namespace korvex::app

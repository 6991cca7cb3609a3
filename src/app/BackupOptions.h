//===- app/BackupOptions.h - The backup part of "Options" -------*- C++ -*-===//
///
/// "Backuping Cycle": the daily time of the backup and the list of backup
/// folder pairs, where pairs can be removed. Both live in the sync
/// service's "sync.cfg"; the running service reads the new time at its next
/// wake-up, and so does `korvex daemon` when it runs the backups. Nothing
/// is written before Save(): a cancelled dialog leaves the pairs alone.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <QGroupBox>

#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QSpinBox;
class QTreeWidget;

namespace korvex {
class SyncService;
}

namespace korvex::app {

class CBackupOptions : public QGroupBox {
  Q_OBJECT
 public:
  /// `runnerText` says which other process runs the backups (may be empty).
  CBackupOptions(SyncService& sync, const QString& runnerText, QWidget* parent = nullptr);

  /// Writes a changed time and removes the pairs taken off the list; false
  /// with `problem` set when one of them could not be saved.
  [[nodiscard]] bool Save(QString& problem);

 private:
  void Load();
  void RemoveSelected();

  SyncService& sync_;
  QSpinBox* hour_;
  QSpinBox* minute_;
  QLabel* unset_;
  QTreeWidget* folders_;
  QPushButton* remove_;
  bool timeChanged_ = false;
  std::vector<std::string> removed_;
};

}  // namespace korvex::app

//===- app/BackupCommands.h - The local pane's backup commands --*- C++ -*-===//
///
/// "New Backup", "Cancel Backup" and "&Backup" on the local pane: marking
/// a local folder as a backup folder with the cloud folder it goes into,
/// unmarking it, and running a backup now. Backup folders, the folders
/// inside them and the folders that hold one carry an emblem on their icon
/// and say so in their tooltip; deleting one asks first. The commands only
/// call the session's sync service, whichever process runs its backups.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <string>
#include <vector>

class QAction;
class QWidget;

namespace korvex::app {

class CLocalDriveDlg;
class CNetDriveDlg;
class SessionBackup;

class CBackupCommands : public QObject {
  Q_OBJECT
 public:
  CBackupCommands(SessionBackup& backup, CLocalDriveDlg& local, CNetDriveDlg& cloud, QWidget& window);

  /// Adds the buttons, the context-menu commands (shown while a folder is
  /// selected), the emblems and the delete question to the local pane.
  void AttachToPane();

  /// Asks for the cloud folder and makes the selected local folder a backup
  /// folder. S_FALSE when the user cancelled.
  [[nodiscard]] HRESULT NewBackup();
  /// Asks, then stops backing up the selected backup folder (what is in the
  /// cloud stays). S_FALSE when the user declined.
  [[nodiscard]] HRESULT CancelBackup();
  /// Backs every active backup folder up now.
  [[nodiscard]] HRESULT BackUpNow();
  /// The exit routine: the window no longer tries to take over the backups.
  void StopRetrying() { retry_.stop(); }

  /// SyncPathStatus bits of the local pane's `row`.
  [[nodiscard]] std::uint32_t RowStatus(int row) const;
  /// Says which process runs the backups when it is not this one; empty
  /// otherwise.
  [[nodiscard]] QString RunnerText() const;

 private:
  /// The one selected local folder ("/" at the end), or empty after telling
  /// the user to choose one.
  [[nodiscard]] std::string SelectedFolder(const QString& command);
  /// The cloud folder the pane shows, below the root of the own disk.
  [[nodiscard]] std::string DefaultTarget(const std::string& localFolder) const;
  [[nodiscard]] QString DeleteQuestion(const std::vector<std::string>& folders);
  void ForgetDeletedFolders();
  void ShowOutcome(const QString& text);
  void UpdateCommands();
  /// Takes the runner's role when the other runner has ended.
  void RetryRunner();

  SessionBackup& backup_;
  CLocalDriveDlg& local_;
  CNetDriveDlg& cloud_;
  QWidget& window_;
  std::vector<QAction*> folderCommands_;
  /// Backup folders the user agreed to delete; their pairs go once they are gone.
  std::vector<std::string> deleting_;
  QTimer retry_;
};

}  // namespace korvex::app

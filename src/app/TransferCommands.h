//===- app/TransferCommands.h - Commands that move files --------*- C++ -*-===//
///
/// The main window's commands between the two panes: upload (plain and
/// encrypted), download, download to a chosen folder, what a drop onto
/// either pane means, and decrypting a local ".lock" file. Transfers are
/// handed to the session's task manager and never waited for; a status line
/// follows them, and the pane a finished transfer wrote into is listed again.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "app/SessionTransfers.h"

#include <QObject>
#include <QStringList>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QThread;
class QTimer;
class QWidget;

namespace korvex::app {

class CLocalDriveDlg;
class CNetDriveDlg;

class CTransferCommands : public QObject {
  Q_OBJECT
 public:
  /// `transfers` is null for an access-code session, which cannot start
  /// transfer families: its visitor uploads files one by one on a worker
  /// thread instead.
  CTransferCommands(SessionTransfers* transfers, CNetDriveDlg& cloud, CLocalDriveDlg& local, QWidget& window,
                    QLabel& statusLine);
  /// Waits for its worker threads (the visitor's upload uses the stores):
  /// destroy it before the stores go.
  ~CTransferCommands() override;

  /// Adds the commands to the panes' context menus and button rows, and
  /// connects the panes' drops.
  void AttachToPanes();

  /// Uploads local paths (folders end in "/") into the cloud pane's folder.
  void UploadPaths(const std::vector<std::string>& paths, const std::string& password = {});
  void UploadSelection(bool encrypted);
  /// Downloads cloud entries into the local folder `folder` (ending in "/").
  void Download(const std::vector<std::shared_ptr<ObjectInfo>>& entries, const std::string& folder, bool overwrite);
  /// Into the folder the local pane shows.
  void DownloadSelection();
  /// Into a folder the user picks.
  void DownloadSelectionTo();
  void DecryptSelection();

  /// Brings the status line up to date now rather than at its next tick:
  /// for when a family stopped, went on or asks the user.
  void UpdateStatusLine();

  /// How long "Transfers finished." (or why one stopped) stays in the line.
  static constexpr int kFinishedLineMs = 15000;

 signals:
  /// Families handed to the task manager, for the transfer list.
  void transfersQueued(const QList<quint32>& ids);

 private:
  /// True, after telling the user, when the cloud pane does not offer a
  /// download of its selection.
  [[nodiscard]] bool DownloadRefused();
  void Report(const std::vector<std::uint32_t>& queued, const std::vector<RefusedTransfer>& refused, bool upload);
  struct Followed;
  void FollowProgress();
  [[nodiscard]] static QString FollowedText(const Followed& now);
  [[nodiscard]] static QString StoppedText(const TaskFamily& family);
  void Decrypt(const std::string& path, const QString& password);
  void UploadAsVisitor(const std::vector<std::string>& paths);

  SessionTransfers* transfers_;
  CNetDriveDlg& cloud_;
  CLocalDriveDlg& local_;
  QWidget& window_;
  QLabel& statusLine_;
  QTimer* progressTimer_;
  /// Families this window started that have not finished, and whether each
  /// is an upload.
  std::map<std::uint32_t, bool> following_;
  QThread* visitorUpload_ = nullptr;
  bool updatePosted_ = false;  // an UpdateStatusLine() is on its way
};

}  // namespace korvex::app

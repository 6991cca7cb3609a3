//===- app/CloudFileOpener.h - What double-clicking a cloud file does -*- C++ -*-===//
///
/// A picture or a video opens in the preview; any other file is downloaded
/// into a folder of its own under the temporary folder (shown in the
/// transfer list like any download) and, once it has arrived, opened with
/// the desktop's application for its type. A download that fails says why
/// and opens nothing.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "store/ObjectInfo.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <map>

class QWidget;

namespace korvex::app {

class CCloudCommands;
class CNetDriveDlg;
class SessionTransfers;
class TransferListModel;

class CCloudFileOpener : public QObject {
  Q_OBJECT
 public:
  /// `transfers` and `list` are null for an access-code session, which can
  /// only preview; `commands` is null where previews are not offered.
  CCloudFileOpener(SessionTransfers* transfers, TransferListModel* list, CCloudCommands* commands,
                   CNetDriveDlg& cloud, QWidget& window);

  /// Makes itself the pane's answer to a double-clicked file.
  void AttachToPane();
  void Open(const ItemInfo& file);

  /// Where files opened from the cloud are downloaded to.
  [[nodiscard]] static QString DownloadRoot();

 signals:
  /// `path` arrived and was handed to the desktop (`opened` false: the
  /// desktop had no application for it).
  void fileOpened(const QString& path, bool opened);

 private:
  void OnFinished(std::uint32_t familyId, bool succeeded, HRESULT error);

  SessionTransfers* transfers_;
  CCloudCommands* commands_;
  CNetDriveDlg& cloud_;
  QWidget& window_;
  std::map<std::uint32_t, QString> waiting_;  // family id -> the file it brings
};

}  // namespace korvex::app

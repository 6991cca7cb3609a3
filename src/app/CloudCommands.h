//===- app/CloudCommands.h - Commands on cloud entries ----------*- C++ -*-===//
///
/// The cloud pane's commands that stay on the service: cut, copy and paste
/// between cloud folders, a file's download link (create, show, change,
/// stop, send by mail), a folder's upload access codes, and sharing a
/// folder with another user. Each acts on the pane's selection and reports
/// what the service answered in the pane or in a notice.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "store/DataStore.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class QWidget;

namespace korvex::app {

class CNetDriveDlg;
class CPreviewDlg;

class CCloudCommands : public QObject {
  Q_OBJECT
 public:
  CCloudCommands(CNetDriveDlg& cloud, QWidget& window);

  /// Adds the commands to the pane's context menu.
  void AttachToPane();

  /// Remembers the selection for Paste; `cut` moves instead of copying.
  void CopySelection(bool cut);
  /// Copies or moves what was remembered into the folder the pane shows.
  /// Folders can only be moved: the service copies files alone.
  [[nodiscard]] HRESULT Paste();
  /// Creates a download link for the selected file; returns its address
  /// (also put on the clipboard), or empty after a failure.
  QString CreateLink();
  void ManageLink();
  void SendLink();
  void ManageUploadCodes();
  /// Opens the preview of the selected picture or video; null when the
  /// selection is not one file.
  CPreviewDlg* Preview();
  void ShareFolder();

 private:
  /// True, after telling the user, when the view or the rights of the
  /// folder shown do not offer `command` on the selection.
  [[nodiscard]] bool Refused(int command, const QString& name);
  /// The one selected file, or null after telling the user to pick one.
  [[nodiscard]] std::shared_ptr<ItemInfo> SelectedFile(const QString& command);
  [[nodiscard]] std::shared_ptr<ContainerInfo> SelectedFolder(const QString& command);
  [[nodiscard]] HRESULT PasteOne(ObjectInfo& entry, const ContainerInfo& target, bool& replaceAll);

  CNetDriveDlg& cloud_;
  QWidget& window_;
  std::vector<std::shared_ptr<ObjectInfo>> clipboard_;
  ContainerInfo clipboardParent_;
  bool cut_ = false;
};

}  // namespace korvex::app

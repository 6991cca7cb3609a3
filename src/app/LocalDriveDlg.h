//===- app/LocalDriveDlg.h - The local pane ---------------------*- C++ -*-===//
#pragma once

#include "app/DataStoreDlgBase.h"

#include <string>

namespace korvex::app {

/// This computer's folders; a double-clicked file opens in the desktop's
/// application for its type. Rows dragged out carry their file-system paths
/// (so the desktop's file manager takes them too); cloud entries dragged in
/// are offered for download.
class CLocalDriveDlg : public CDataStoreDlgBase {
  Q_OBJECT
 public:
  explicit CLocalDriveDlg(DataStore* store, QWidget* parent = nullptr);

  /// File-system paths of the selected rows in list order; folders end in
  /// "/". Drive roots and the virtual folders are left out: they are not
  /// something to upload or decrypt.
  [[nodiscard]] std::vector<std::string> SelectedPaths() const;
  /// The folder shown, as a path ending in "/"; empty in a virtual folder.
  [[nodiscard]] std::string CurrentFolderPath() const;
  /// Opens the selected file or folder with the desktop's application.
  void OpenSelection();
  /// The file-system path of `entry`; folders end in "/". Empty for the
  /// virtual folders.
  [[nodiscard]] std::string PathOf(const ObjectInfo& entry) const;

 protected:
  void OpenItem(const ItemInfo& item) override;
  [[nodiscard]] bool TakesDrop(const QMimeData& data) const override;

 private:
  void OpenPath(const std::string& path, const std::string& name);
};

}  // namespace korvex::app

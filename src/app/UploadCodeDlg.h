//===- app/UploadCodeDlg.h - A folder's upload access codes -----*- C++ -*-===//
///
/// Lists the access codes through which visitors upload into one cloud
/// folder, and creates and deletes them.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "store/DataStore.h"

#include <QDialog>

#include <vector>

class QLabel;
class QTableWidget;

namespace korvex::app {

class CUploadCodeDlg : public QDialog {
  Q_OBJECT
 public:
  CUploadCodeDlg(DataStore& store, const ContainerInfo& folder, QWidget* parent = nullptr);

  /// Lists the folder's codes again.
  [[nodiscard]] HRESULT Reload();
  [[nodiscard]] HRESULT CreateCode();
  /// Deletes the selected codes.
  [[nodiscard]] HRESULT DeleteSelected();

  [[nodiscard]] const std::vector<ContainerCode>& Codes() const noexcept { return codes_; }
  [[nodiscard]] HRESULT LastStatus() const noexcept { return status_; }

 private:
  HRESULT Report(HRESULT hr, const QString& what);

  DataStore& store_;
  ContainerInfo folder_;
  std::vector<ContainerCode> codes_;
  QTableWidget* table_;
  QLabel* problem_;
  HRESULT status_ = S_OK;
};

}  // namespace korvex::app

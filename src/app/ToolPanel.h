//===- app/ToolPanel.h - The "Tool" tab beside the transfer list -*- C++ -*-===//
///
/// The account's tools that are not about one file: how much of the
/// account's space is used (asked of the service when the tab opens, after
/// each transfer and on "Refresh"), and the network check. A failed space
/// request keeps what the panel showed before and says why beside it.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"

#include <QWidget>

#include <cstdint>

class QLabel;
class QProgressBar;

namespace korvex {
class DataStore;
}

namespace korvex::app {

class CToolPanel : public QWidget {
  Q_OBJECT
 public:
  /// `store` is the cloud pane's; it must outlive the panel.
  explicit CToolPanel(DataStore& store, QWidget* parent = nullptr);

  /// Asks the service for the used and total space (the windows keep
  /// painting meanwhile) and shows them.
  HRESULT RefreshSpace();

  [[nodiscard]] std::uint64_t UsedBytes() const noexcept { return used_; }
  [[nodiscard]] std::uint64_t TotalBytes() const noexcept { return total_; }

 private:
  DataStore& store_;
  QLabel* spaceText_;
  QLabel* problem_;
  QProgressBar* spaceBar_;
  std::uint64_t used_ = 0;
  std::uint64_t total_ = 0;
  bool asking_ = false;
};

}  // namespace korvex::app

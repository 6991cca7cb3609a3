//===- app/NetDriveDlg.h - The cloud pane -----------------------*- C++ -*-===//
#pragma once

#include "app/DataStoreDlgBase.h"

namespace korvex::app {

/// The user's disk on the service (or the upload folder of an access code).
/// Files dragged in from this computer are offered for upload; rows dragged
/// out carry their cloud addresses for the local pane.
class CNetDriveDlg : public CDataStoreDlgBase {
  Q_OBJECT
 public:
  explicit CNetDriveDlg(DataStore* store, QWidget* parent = nullptr);

  /// The cached record of the cloud entry at `uri` (a folder address ends in
  /// "/"), or null when the store has not listed it.
  [[nodiscard]] std::shared_ptr<ObjectInfo> EntryAt(const std::string& uri) const;

 protected:
  [[nodiscard]] bool TakesDrop(const QMimeData& data) const override;
};

}  // namespace korvex::app

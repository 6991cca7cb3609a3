//===- app/LocalDriveDlg.h - The local pane ---------------------*- C++ -*-===//
#pragma once

#include "app/DataStoreDlgBase.h"

namespace korvex::app {

/// This computer's folders; a double-clicked file opens in the desktop's
/// application for its type.
class CLocalDriveDlg : public CDataStoreDlgBase {
  Q_OBJECT
 public:
  explicit CLocalDriveDlg(DataStore* store, QWidget* parent = nullptr)
      : CDataStoreDlgBase(tr("Local:"), store, parent) {}

 protected:
  void OpenItem(const ItemInfo& item) override;
};

}  // namespace korvex::app

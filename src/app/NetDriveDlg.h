//===- app/NetDriveDlg.h - The cloud pane -----------------------*- C++ -*-===//
#pragma once

#include "app/DataStoreDlgBase.h"

namespace korvex::app {

/// The user's disk on the service (or the upload folder of an access code).
class CNetDriveDlg : public CDataStoreDlgBase {
  Q_OBJECT
 public:
  explicit CNetDriveDlg(DataStore* store, QWidget* parent = nullptr)
      : CDataStoreDlgBase(tr("Cloud:"), store, parent) {}
};

}  // namespace korvex::app

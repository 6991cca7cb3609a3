//===- app/LocalDriveDlg.cpp - The local pane ------------------------------===//

#include "app/LocalDriveDlg.h"

#include "store/ShellFolderDataStoreRemote.h"

#include <QDesktopServices>
#include <QUrl>

namespace korvex::app {

void CLocalDriveDlg::OpenItem(const ItemInfo& item) {
  const auto* local = dynamic_cast<const ShellFolderDataStoreRemote*>(Model()->Store()->Remote());
  const std::string path = local ? local->MapPath(item.uri) : std::string();
  if (path.empty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)))) {
    ShowStatus(E_FAIL, tr("Opening \"%1\"").arg(QString::fromStdString(item.name)));
  }
}

}  // namespace korvex::app

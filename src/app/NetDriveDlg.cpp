//===- app/NetDriveDlg.cpp - The cloud pane --------------------------------===//

#include "app/NetDriveDlg.h"

#include <QMimeData>
#include <QUrl>

namespace korvex::app {

CNetDriveDlg::CNetDriveDlg(DataStore* store, QWidget* parent) : CDataStoreDlgBase(tr("Cloud:"), store, parent) {
  Model()->SetDragSource([this](const std::vector<int>& rows) -> QMimeData* {
    QStringList uris;
    for (const int row : rows) {
      const ObjectInfo* entry = Model()->Entry(row);
      if (!entry) continue;
      uris << QString::fromStdString(entry->kind == kObjectContainer ? static_cast<const ContainerInfo&>(*entry).uri
                                                                     : static_cast<const ItemInfo&>(*entry).uri);
    }
    auto* data = new QMimeData;
    data->setData(kCloudEntriesMimeType, uris.join('\n').toUtf8());
    return data;
  });
}

std::shared_ptr<ObjectInfo> CNetDriveDlg::EntryAt(const std::string& uri) const {
  DataStore* store = Model()->Store();
  if (ContainerInfo folder; !uri.empty() && uri.back() == '/' && store->GetContainerInfo(uri, folder))
    return CopyEntry(folder);
  if (ItemInfo file; store->GetItemInfo(uri, file)) return CopyEntry(file);
  return nullptr;
}

bool CNetDriveDlg::TakesDrop(const QMimeData& data) const {
  for (const QUrl& url : data.urls()) {
    if (url.isLocalFile()) return true;
  }
  return false;
}

}  // namespace korvex::app

//===- app/NetDriveDlg.cpp - The cloud pane --------------------------------===//

#include "app/NetDriveDlg.h"

#include "foundation/StringTable.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QTableView>
#include <QUrl>

namespace korvex::app {

CNetDriveDlg::CNetDriveDlg(std::vector<CloudView> views, QWidget* parent)
    : CDataStoreDlgBase(tr("Cloud:"), views.front().store, parent), views_(std::move(views)) {
  ContainerInfo top;
  top.name = UiString(kIdsRootMyCloud);
  // Not an address of any store: the upload folder's root is "/", the
  // views' "/<root name>/".
  top.uri = "cloud:";
  top.kind = kContainerRoot;
  top.privilege = kPrivilegeVirtual;
  std::vector<ModelView> shown;
  for (CloudView& view : views_) {
    if (view.store) view.root = view.store->RootInfo();
    shown.push_back({view.root, view.store});
  }
  Model()->SetViews(std::move(top), std::move(shown));
  Model()->SetRenameRule([this](const ObjectInfo& entry) {
    return Offers(Menu(), RightsIn(Model()->ViewRoot(), Model()->Container(), {CopyEntry(entry)}), kCmdRename);
  });
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
  connect(Model(), &QAbstractItemModel::modelReset, this, &CNetDriveDlg::UpdateCommands);
  connect(View()->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CNetDriveDlg::UpdateCommands);
}

CloudMenu CNetDriveDlg::Menu() const {
  if (Model()->AtTop()) return CloudMenu::kNone;
  const std::string& root = Model()->ViewRoot().uri;
  for (const CloudView& view : views_) {
    if (view.root.uri == root) return view.menu;
  }
  return CloudMenu::kNone;
}

bool CNetDriveDlg::Permits(int command) const {
  if (Model()->AtTop()) return false;
  return Offers(Menu(), RightsIn(Model()->ViewRoot(), Model()->Container(), SelectedEntries()), command);
}

void CNetDriveDlg::UpdateCommands() {
  const CloudMenu menu = Menu();
  const CloudRights rights = RightsIn(Model()->ViewRoot(), Model()->Container(), SelectedEntries());
  for (QAction* action : View()->actions()) {
    // Commands without an id (refresh) are offered everywhere.
    if (const int command = action->data().toInt(); command != kCmdNone)
      action->setVisible(!Model()->AtTop() && Offers(menu, rights, command));
  }
  // Buttons stay in place, so that the row does not jump about; what the
  // folder does not allow is greyed.
  EnableButtons([&](int command) { return !Model()->AtTop() && Offers(menu, rights, command); });
}

void CNetDriveDlg::OpenFolder(const ContainerInfo& container) {
  if (const HRESULT hr = Open(container); hr == kViewNotOffered) {
    ShowNotice(tr("\"%1\" is not offered by this service to your account.").arg(QString::fromStdString(container.name)));
  }
}

std::shared_ptr<ObjectInfo> CNetDriveDlg::EntryAt(const std::string& uri) const {
  DataStore* store = Model()->Store();
  if (ContainerInfo folder; !uri.empty() && uri.back() == '/' && store->GetContainerInfo(uri, folder))
    return CopyEntry(folder);
  if (ItemInfo file; store->GetItemInfo(uri, file)) return CopyEntry(file);
  return nullptr;
}

bool CNetDriveDlg::TakesDrop(const QMimeData& data) const {
  if (!Permits(kCmdUpload)) return false;
  for (const QUrl& url : data.urls()) {
    if (url.isLocalFile()) return true;
  }
  return false;
}

}  // namespace korvex::app

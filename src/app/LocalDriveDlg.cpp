//===- app/LocalDriveDlg.cpp - The local pane ------------------------------===//

#include "app/LocalDriveDlg.h"

#include "app/DesktopOpen.h"
#include "store/ShellFolderDataStoreRemote.h"

#include <sys/stat.h>

#include <QDir>
#include <QMimeData>
#include <QUrl>

#include <filesystem>

namespace korvex::app {
namespace {

// "/" and every mount point: a drive root of this computer.
bool IsDriveRoot(const std::string& path) {
  if (path == "/") return true;
  const std::string trimmed = path.back() == '/' ? path.substr(0, path.size() - 1) : path;
  struct stat self {}, parent {};
  const std::string up = std::filesystem::path(trimmed).parent_path().string();
  return ::stat(trimmed.c_str(), &self) == 0 && ::stat(up.c_str(), &parent) == 0 && self.st_dev != parent.st_dev;
}

}  // namespace

CLocalDriveDlg::CLocalDriveDlg(DataStore* store, QWidget* parent) : CDataStoreDlgBase(tr("Local:"), store, parent) {
  // The file system lists in no order of ours; a folder is read whole anyway.
  Model()->SetSortsWholeListings(true);
  SetDeletesPermanently(true);
  // The root lists the home folder's entries and the drives, whatever the
  // root's own name says.
  SetRootLabel(tr("Home folder (%1) and drives").arg(QDir::homePath()));
  Model()->SetDragSource([this](const std::vector<int>& rows) -> QMimeData* {
    QList<QUrl> urls;
    for (const int row : rows) {
      const ObjectInfo* entry = Model()->Entry(row);
      const std::string path = entry ? PathOf(*entry) : std::string();
      if (!path.empty() && !IsDriveRoot(path)) urls << QUrl::fromLocalFile(QString::fromStdString(path));
    }
    if (urls.isEmpty()) return nullptr;
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
  });
}

std::string CLocalDriveDlg::PathOf(const ObjectInfo& entry) const {
  const auto* local = dynamic_cast<const ShellFolderDataStoreRemote*>(Model()->Store()->Remote());
  if (!local) return {};
  const bool folder = entry.kind == kObjectContainer;
  std::string path = local->MapPath(folder ? static_cast<const ContainerInfo&>(entry).uri
                                           : static_cast<const ItemInfo&>(entry).uri);
  if (folder && !path.empty() && path.back() != '/') path += '/';
  return path;
}

std::vector<std::string> CLocalDriveDlg::SelectedPaths() const {
  std::vector<std::string> paths;
  for (const auto& entry : SelectedEntries()) {
    std::string path = PathOf(*entry);
    if (!path.empty() && !IsDriveRoot(path)) paths.push_back(std::move(path));
  }
  return paths;
}

std::string CLocalDriveDlg::CurrentFolderPath() const { return PathOf(Model()->Container()); }

void CLocalDriveDlg::OpenPath(const std::string& path, const std::string& name) {
  if (path.empty() || !OpenWithDesktop(QString::fromStdString(path))) {
    ShowStatus(E_FAIL, tr("Opening \"%1\"").arg(QString::fromStdString(name)));
  }
}

void CLocalDriveDlg::OpenItem(const ItemInfo& item) { OpenPath(PathOf(item), item.name); }

void CLocalDriveDlg::OpenSelection() {
  const auto entries = SelectedEntries();
  if (entries.empty()) return;
  const ObjectInfo& entry = *entries.front();
  OpenPath(PathOf(entry), entry.kind == kObjectContainer ? static_cast<const ContainerInfo&>(entry).name
                                                         : static_cast<const ItemInfo&>(entry).name);
}

bool CLocalDriveDlg::TakesDrop(const QMimeData& data) const {
  return data.hasFormat(kCloudEntriesMimeType) && !CurrentFolderPath().empty();
}

}  // namespace korvex::app

//===- app/CloudFileOpener.cpp - What double-clicking a cloud file does ---===//

#include "app/CloudFileOpener.h"

#include "app/CloudCommands.h"
#include "app/DesktopOpen.h"
#include "app/NetDriveDlg.h"
#include "app/Notice.h"
#include "app/PreviewDlg.h"
#include "app/SessionTransfers.h"
#include "app/TransferListModel.h"
#include "app/TransferTexts.h"
#include "foundation/StatusMessages.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <memory>

namespace korvex::app {

CCloudFileOpener::CCloudFileOpener(SessionTransfers* transfers, TransferListModel* list, CCloudCommands* commands,
                                   CNetDriveDlg& cloud, QWidget& window)
    : QObject(&window), transfers_(transfers), commands_(commands), cloud_(cloud), window_(window) {
  if (list) connect(list, &TransferListModel::familyFinished, this, &CCloudFileOpener::OnFinished);
}

void CCloudFileOpener::AttachToPane() {
  cloud_.SetFileOpener([this](const ItemInfo& file) { Open(file); });
}

QString CCloudFileOpener::DownloadRoot() { return QDir::temp().filePath("korvexdata-open"); }

void CCloudFileOpener::Open(const ItemInfo& file) {
  if (CPreviewDlg::KindOf(file.name) != CPreviewDlg::Kind::kNone && commands_) {
    (void)commands_->Preview();
    return;
  }
  if (!transfers_ || !cloud_.Permits(kCmdDownload)) {
    ShowNotice(&window_, tr("Open"), tr("\"%1\" cannot be downloaded from here.").arg(QString::fromStdString(file.name)));
    return;
  }
  // A folder of its own per opening: two files of one name never meet, and
  // an earlier copy that is still open stays as it was.
  QDir().mkpath(DownloadRoot());
  QTemporaryDir folder(DownloadRoot() + "/XXXXXX");
  if (!folder.isValid()) {
    ShowNotice(&window_, tr("Open"), tr("No temporary folder for \"%1\": %2").arg(QString::fromStdString(file.name), folder.errorString()));
    return;
  }
  folder.setAutoRemove(false);
  std::vector<std::uint32_t> queued;
  std::vector<RefusedTransfer> refused;
  transfers_->Download({std::make_shared<ItemInfo>(file)}, folder.path().toStdString() + "/", true, queued, refused);
  if (queued.empty()) {
    const HRESULT why = refused.empty() ? E_FAIL : refused.front().status;
    ShowNotice(&window_, tr("Open"), tr("\"%1\" could not be downloaded (error %2).").arg(QString::fromStdString(file.name), HexStatus(why)));
    return;
  }
  waiting_[queued.front()] = QDir(folder.path()).filePath(QString::fromStdString(file.name));
  cloud_.ShowNotice(tr("Downloading \"%1\" to open it...").arg(QString::fromStdString(file.name)));
}

void CCloudFileOpener::OnFinished(std::uint32_t familyId, bool succeeded, HRESULT error) {
  const auto it = waiting_.find(familyId);
  if (it == waiting_.end()) return;
  const QString path = it->second;
  waiting_.erase(it);
  cloud_.ShowNotice({});
  if (!succeeded) {
    std::string message;
    const QString why = StatusMessages::Get().Lookup(error, message) ? QString::fromStdString(message) : HexStatus(error);
    ShowNotice(&window_, tr("Open"), tr("\"%1\" could not be downloaded: %2").arg(QFileInfo(path).fileName(), why));
    return;
  }
  const bool opened = OpenWithDesktop(path);
  if (!opened) cloud_.ShowNotice(tr("No application opens \"%1\" (downloaded to %2).").arg(QFileInfo(path).fileName(), path));
  emit fileOpened(path, opened);
}

}  // namespace korvex::app

//===- app/NetDriveDlg.h - The cloud pane -----------------------*- C++ -*-===//
#pragma once

#include "app/CloudMenus.h"
#include "app/DataStoreDlgBase.h"

#include <functional>
#include <vector>

namespace korvex::app {

/// One disk of the account as the cloud pane shows it: its store (null for
/// a view this service does not offer) and the item menu it carries.
struct CloudView {
  DataStore* store = nullptr;
  CloudMenu menu = CloudMenu::kNone;
  /// The root shown for a view without a store.
  ContainerInfo root;
};

/// The disks of the service under "My Cloud": the own disk, the folders
/// shared with the user, the backups, VEZO, or the upload folder of an
/// access code. ShowRoot() opens the first of them, whose parent row leads
/// up to "My Cloud". Its item menus follow the
/// view and the rights of the folder shown. Files dragged in from this
/// computer are offered for upload; rows dragged out carry their cloud
/// addresses for the local pane.
class CNetDriveDlg : public CDataStoreDlgBase {
  Q_OBJECT
 public:
  /// `views` must hold at least one view with a store, the first of them.
  explicit CNetDriveDlg(std::vector<CloudView> views, QWidget* parent = nullptr);

  /// The cached record of the cloud entry at `uri` (a folder address ends in
  /// "/"), or null when the store has not listed it.
  [[nodiscard]] std::shared_ptr<ObjectInfo> EntryAt(const std::string& uri) const;

  /// The store of the first view (the own disk, or an access code's
  /// folder), whichever view is shown: backups pair folders with it.
  [[nodiscard]] DataStore& OwnDisk() const noexcept { return *views_.front().store; }

  [[nodiscard]] bool Permits(int command) const override;
  /// The item menu of the view shown.
  [[nodiscard]] CloudMenu Menu() const;
  /// Shows in the context menu only what the view and the rights offer;
  /// runs whenever the folder or the selection changes.
  void UpdateCommands();

  /// What a double-clicked file does (preview or open); nothing without one.
  void SetFileOpener(std::function<void(const ItemInfo& file)> opener) { fileOpener_ = std::move(opener); }

 protected:
  [[nodiscard]] bool TakesDrop(const QMimeData& data) const override;
  void OpenFolder(const ContainerInfo& container) override;
  void OpenItem(const ItemInfo& item) override {
    if (fileOpener_) fileOpener_(item);
  }

 private:
  std::vector<CloudView> views_;
  std::function<void(const ItemInfo& file)> fileOpener_;
};

}  // namespace korvex::app

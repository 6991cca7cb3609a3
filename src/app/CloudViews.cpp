//===- app/CloudViews.cpp - The disks the cloud pane shows -----------------===//

#include "app/CloudViews.h"

#include "foundation/LogMgr.h"
#include "foundation/StringTable.h"
#include "service/KorvexDataStoreViews.h"

namespace korvex::app {
namespace {

// The login answer names no VEZO folder, so nothing can be listed there;
// the view is shown all the same, and opening it says why it stays shut.
CloudView VezoView() {
  CloudView view;
  view.menu = CloudMenu::kNoUploadCode;
  view.root.name = UiString(kIdsRootVezoSpace);
  view.root.uri = "/" + view.root.name + "/";
  view.root.kind = kContainerVezo;
  view.root.privilege = KorvexDataStoreVEZO::kViewDownloadRights;
  return view;
}

}  // namespace

std::vector<CloudView> CloudViews(session::SessionStores& stores, HRESULT& status) {
  using session::RemoteView;
  struct Wanted {
    RemoteView view;
    CloudMenu menu;
  };
  std::vector<Wanted> wanted{{RemoteView::kUpload, CloudMenu::kNone}};
  if (!stores.GetSession().accessCode) {
    wanted = {{RemoteView::kMyDisk, CloudMenu::kFull},
              {RemoteView::kShares, CloudMenu::kNoUploadCode},
              {RemoteView::kBackup, CloudMenu::kBasic}};
  }
  std::vector<CloudView> views;
  status = S_OK;
  for (const Wanted& w : wanted) {
    HRESULT hr = S_OK;
    DataStore* store = stores.Store(w.view, hr);
    if (!store) {
      if (views.empty()) {
        status = hr;
        return {};
      }
      LogMgr::Get().Warn("NetDriveDlg", "A view could not be opened: 0x%08x", static_cast<unsigned>(hr));
      continue;
    }
    views.push_back({store, w.menu, {}});
  }
  if (!stores.GetSession().accessCode) views.push_back(VezoView());
  return views;
}

}  // namespace korvex::app

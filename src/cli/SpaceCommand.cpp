//===- cli/SpaceCommand.cpp - Used and total space ------------------------===//
//
// The space figures are not a store operation: like the main window, the
// command asks the service back end behind the personal disk directly.

#include "cli/Console.h"
#include "cli/FileCommands.h"
#include "cli/SessionRunner.h"
#include "cli/SharingCommands.h"
#include "cli/Texts.h"
#include "service/KorvexDataStoreRemote.h"
#include "service/WindowRequests.h"
#include "store/DataStore.h"

#include <boost/format.hpp>

#include <iostream>

namespace korvex::cli {

namespace {

void PrintSpace(const GlobalOptions& options, std::uint64_t used, std::uint64_t total) {
  if (options.json) {
    std::cout << "{\"used\":" << used << ",\"total\":" << total << "}" << std::endl;
    return;
  }
  const double percent = total ? 100.0 * static_cast<double>(used) / static_cast<double>(total) : 0.0;
  std::cout << boost::format(std::string(Text(kTxtSpaceLine))) % HumanSize(used) % HumanSize(total) %
                   (boost::format("%.1f") % percent).str()
            << std::endl;
}

}  // namespace

int RunSpace(const GlobalOptions& options, const DeploymentValues& deployment) {
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    if (stores.GetSession().accessCode) return {E_ACCESSDENIED, "space", std::string(Text(kTxtAccessCodeOnly))};
    HRESULT hr = S_OK;
    DataStore* store = stores.Store(RemoteView::kMyDisk, hr);
    if (!store) return {hr, "space", {}};
    auto* service = dynamic_cast<KorvexDataStoreRemote*>(store->Remote());
    if (!service) return {E_ACCESSDENIED, "space", std::string(Text(kTxtViewNotReachable))};
    std::string message;
    hr = Await<SpacePayload>([&](AsyncResult** r) { return service->GetSpace(r); },
                             [&](const SpacePayload& p) { PrintSpace(options, boost::get<1>(p), boost::get<2>(p)); },
                             message);
    if (Failed(hr)) return {hr, "space", message};
    return {};
  });
}

}  // namespace korvex::cli

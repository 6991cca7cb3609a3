//===- cli/ShareCommands.cpp - share and contacts ------------------------===//

#include "cli/Console.h"
#include "cli/SharingCommands.h"
#include "cli/SharingTexts.h"
#include "foundation/StringTable.h"
#include "store/DataStore.h"

#include <iostream>

namespace korvex::cli {
namespace {

// Both listings come in pages; this many a request, and never more pages
// than a sane service would send.
constexpr std::uint32_t kPageSize = 100;
constexpr std::uint32_t kMaxPages = 1000;

std::string RightsLabel(std::uint32_t privilege) { return std::string(UiString(PrivilegeLabelId(privilege))); }

std::string UserList(const std::vector<std::string>& users) {
  std::string list;
  for (const std::string& user : users) list += (list.empty() ? "" : ", ") + user;
  return list;
}

// Reads every page of a listing through `page`, which returns the status
// and the service's page count.
template <class Page>
HRESULT ReadAllPages(Page&& page) {
  std::uint64_t pages = 1;
  for (std::uint32_t number = 1; number <= pages && number <= kMaxPages; ++number) {
    if (const HRESULT hr = page(number, pages); Failed(hr)) return hr;
  }
  return S_OK;
}

void PrintShares(const GlobalOptions& options, const std::vector<BuddyInfoEx>& shares) {
  if (options.json) {
    std::string json = "[";
    for (const BuddyInfoEx& s : shares) {
      json += (json.size() > 1 ? "," : "") + std::string("{\"user\":") + JsonString(s.buddy.name) +
              ",\"domain\":" + JsonString(s.buddy.domain) + ",\"privilege\":" + std::to_string(s.privilege) +
              ",\"rights\":" + JsonString(RightsLabel(s.privilege)) + ",\"since\":" + JsonString(s.buddy.joinTime) +
              "}";
    }
    std::cout << json << "]" << std::endl;
    return;
  }
  Table table({std::string(Text(kTxtColumnUser)), std::string(Text(kTxtColumnDomain)),
               std::string(Text(kTxtColumnRights)), std::string(Text(kTxtColumnSince))});
  for (const BuddyInfoEx& s : shares)
    table.AddRow({s.buddy.name, s.buddy.domain, RightsLabel(s.privilege), s.buddy.joinTime});
  table.Print();
}

CommandOutcome ListShares(DataStore& store, const ContainerInfo& folder, const GlobalOptions& options,
                          const std::string& subject) {
  std::vector<BuddyInfoEx> all;
  const HRESULT hr = ReadAllPages([&](std::uint32_t number, std::uint64_t& pages) {
    std::vector<BuddyInfoEx> page;
    const HRESULT status = store.ListContainerBuddies(folder, number, kPageSize, pages, page);
    all.insert(all.end(), page.begin(), page.end());
    return status;
  });
  if (Failed(hr)) return Refused(hr, subject);
  PrintShares(options, all);
  return {};
}

// The store changes a share one user at a time; the first refused user
// ends the command and is named in its report.
CommandOutcome ForEachUser(const SharingArgs& args, const std::string& subject,
                           const std::function<HRESULT(const std::string&)>& change) {
  for (const std::string& user : args.words) {
    if (const HRESULT hr = change(user); Failed(hr)) return Refused(hr, subject + ": " + user);
  }
  return {};
}

CommandOutcome Share(SessionStores& stores, const GlobalOptions& options, const SharingArgs& args,
                     const RemotePath& path, const std::string& what) {
  DataStore* store = nullptr;
  RemoteEntry entry;
  if (CommandOutcome located = LocateEntry(stores, path, true, store, entry); Failed(located.status)) return located;
  ContainerInfo folder = entry.container;
  folder.privilege = args.rights;
  const std::string subject = path.Display();
  CommandOutcome outcome;
  std::string done;
  if (what == "add") {
    std::vector<BuddyInfo> buddies(args.words.size());
    for (std::size_t i = 0; i < buddies.size(); ++i) buddies[i].name = args.words[i];
    if (const HRESULT hr = store->ShareContainer(folder, buddies); Failed(hr)) return Refused(hr, subject);
    done = std::string(Text(kTxtShared)) + " " + UserList(args.words) + " (" + RightsLabel(args.rights) + ")";
  } else if (what == "edit") {
    outcome = ForEachUser(args, subject, [&](const std::string& u) { return store->EditContainerShare(folder, u); });
    done = std::string(Text(kTxtShareChanged)) + " " + UserList(args.words) + " (" + RightsLabel(args.rights) + ")";
  } else if (what == "remove") {
    outcome = ForEachUser(args, subject, [&](const std::string& u) { return store->UnshareContainer(folder, u); });
    done = std::string(Text(kTxtShareRemoved)) + " " + UserList(args.words);
  } else if (what == "cancel") {
    if (const HRESULT hr = store->CancelContainerShare(folder); Failed(hr)) return Refused(hr, subject);
    done = std::string(Text(kTxtShareCancelled));
  } else {
    return ListShares(*store, folder, options, subject);
  }
  if (Succeeded(outcome.status) && !options.json) std::cout << subject << ": " << done << std::endl;
  return outcome;
}

}  // namespace

int RunShare(const GlobalOptions& options, const DeploymentValues& deployment, const SharingArgs& args,
             const std::string& what) {
  if (args.path.empty() || (what == "add" && args.words.empty()))
    return ReportMessage("share: give the folder and at least one user", kExitUsage);
  RemotePath path;
  if (!ParsePathArg(args.path, path)) return kExitUsage;
  return RunWithSession(options, deployment,
                        [&](SessionStores& stores) { return Share(stores, options, args, path, what); });
}

int RunContacts(const GlobalOptions& options, const DeploymentValues& deployment) {
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    HRESULT hr = S_OK;
    DataStore* store = stores.Store(RemoteView::kMyDisk, hr);
    if (!store) return {hr, "contacts", std::string(Text(kTxtViewNotReachable))};
    std::vector<BuddyInfo> all;
    hr = ReadAllPages([&](std::uint32_t number, std::uint64_t& pages) {
      std::vector<BuddyInfo> page;
      const HRESULT status = store->ListBuddies(number, kPageSize, pages, page);
      all.insert(all.end(), page.begin(), page.end());
      return status;
    });
    if (Failed(hr)) return Refused(hr, "contacts");
    if (options.json) {
      std::string json = "[";
      for (const BuddyInfo& b : all) {
        json += (json.size() > 1 ? "," : "") + std::string("{\"name\":") + JsonString(b.name) +
                ",\"domain\":" + JsonString(b.domain) + ",\"email\":" + JsonString(b.email) + "}";
      }
      std::cout << json << "]" << std::endl;
      return {};
    }
    Table table(
        {std::string(Text(kTxtColumnUser)), std::string(Text(kTxtColumnDomain)), std::string(Text(kTxtColumnEmail))});
    for (const BuddyInfo& b : all) table.AddRow({b.name, b.domain, b.email});
    table.Print();
    return {};
  });
}

}  // namespace korvex::cli

//===- cli/FileCommands.cpp - ls, mkdir, rm, mv, cp, rename ---------------===//

#include "cli/FileCommands.h"

#include "cli/Console.h"
#include "cli/RemoteTree.h"
#include "cli/SessionRunner.h"
#include "cli/Texts.h"
#include "foundation/StringTable.h"

#include <boost/any.hpp>

#include <algorithm>
#include <iostream>
#include <optional>

namespace korvex::cli {

namespace {

std::uint64_t IdOf(const boost::any& tag) {
  const auto* id = boost::any_cast<std::uint64_t>(&tag);
  return id ? *id : 0;
}

// The name as the user types it: a shared folder's display name carries its
// rights label, its address the plain name.
std::string PlainName(const ContainerInfo& container) {
  std::string uri = container.uri;
  if (!uri.empty() && uri.back() == '/') uri.pop_back();
  return uri.substr(uri.rfind('/') + 1);
}

// Parses every path first: a mistyped one must not leave the others half done.
std::optional<std::vector<RemotePath>> ParseAll(const std::vector<std::string>& texts) {
  std::vector<RemotePath> paths;
  for (const std::string& text : texts) {
    std::string error;
    std::optional<RemotePath> path = ParseRemotePath(text, error);
    if (!path) {
      ReportMessage(text + ": " + error, kExitUsage);
      return std::nullopt;
    }
    paths.push_back(std::move(*path));
  }
  return paths;
}

CommandOutcome NotFound(const RemotePath& path, HRESULT status) {
  if (status == HR_FILE_NOT_FOUND) return {status, path.Display(), std::string(Text(kTxtNoSuchRemote))};
  if (status == E_ACCESSDENIED) return {status, path.Display(), std::string(Text(kTxtViewNotReachable))};
  return {status, path.Display(), {}};
}

// A refusal in an access-code session is the code's limit, not a broken one.
CommandOutcome NotReached(SessionStores& stores, const RemotePath& path, HRESULT status) {
  if (status == E_ACCESSDENIED && stores.GetSession().accessCode)
    return {status, path.Display(), std::string(Text(kTxtAccessCodeOnly))};
  return NotFound(path, status);
}

// The store of `path`'s view and the entry it names.
CommandOutcome Locate(SessionStores& stores, const RemotePath& path, DataStore*& store, RemoteEntry& entry) {
  HRESULT hr = S_OK;
  store = stores.Store(path.view, hr);
  if (!store) return NotReached(stores, path, hr);
  if (Failed(hr = FindEntry(*store, path, entry))) return NotReached(stores, path, hr);
  return {};
}

// Why a view refuses a new folder, in its own terms.
CommandOutcome MkdirRefused(SessionStores& stores, const RemotePath& path, HRESULT status) {
  if (path.view == RemoteView::kUpload && stores.GetSession().accessCode)
    return {status, path.Display(), std::string(Text(kTxtCodeCannotMkdir))};
  return {status, path.Display(), {}};
}

CommandOutcome LocateFolder(SessionStores& stores, const RemotePath& path, DataStore*& store,
                            ContainerInfo& folder) {
  RemoteEntry entry;
  if (CommandOutcome outcome = Locate(stores, path, store, entry); Failed(outcome.status)) return outcome;
  if (!entry.isContainer) return {E_INVALIDARG, path.Display(), std::string(Text(kTxtNotAFolder))};
  folder = entry.container;
  return {};
}

std::string ContainerJson(const ContainerInfo& c) {
  return "{\"name\":" + JsonString(PlainName(c)) + ",\"type\":\"dir\",\"size\":0,\"modified\":null,\"id\":" +
         std::to_string(IdOf(c.tag)) + ",\"locked\":false,\"partial\":false,\"privilege\":" +
         std::to_string(c.privilege) + ",\"owner\":" + JsonString(c.ownerName) + "}";
}

std::string ItemJson(const ItemInfo& i) {
  const std::string modified = IsoUtcText(i.modifyTime);
  return "{\"name\":" + JsonString(i.name) + ",\"type\":\"file\",\"size\":" + std::to_string(i.size) +
         ",\"modified\":" + (modified.empty() ? "null" : JsonString(modified)) + ",\"id\":" +
         std::to_string(IdOf(i.tag)) + ",\"locked\":" + (i.locked ? "true" : "false") +
         ",\"partial\":" + (i.partial ? "true" : "false") + "}";
}

void PrintListing(const GlobalOptions& options, const std::vector<ContainerInfo>& containers,
                  const std::vector<ItemInfo>& items) {
  if (options.json) {
    std::string json = "[";
    for (const ContainerInfo& c : containers) json += (json.size() > 1 ? "," : "") + ContainerJson(c);
    for (const ItemInfo& i : items) json += (json.size() > 1 ? "," : "") + ItemJson(i);
    std::cout << json << "]" << std::endl;
    return;
  }
  Table table({std::string(Text(kTxtColumnName)), std::string(Text(kTxtColumnSize)),
               std::string(Text(kTxtColumnModified)), std::string(Text(kTxtColumnOwner))},
              {1});
  for (const ContainerInfo& c : containers) table.AddRow({c.name + "/", "-", "-", c.ownerName});
  for (const ItemInfo& i : items) {
    std::string name = i.name;
    if (i.partial) name += " " + std::string(Text(kTxtPartialMark));
    table.AddRow({name, HumanSize(i.size), LocalTimeText(i.modifyTime), ""});
  }
  table.Print();
}

CommandOutcome Ls(SessionStores& stores, const GlobalOptions& options, const RemotePath& path,
                  std::uint32_t sortOrder) {
  DataStore* store = nullptr;
  RemoteEntry entry;
  HRESULT hr = S_OK;
  // The order must be set before the first listing: the service sorts names.
  if ((store = stores.Store(path.view, hr)) == nullptr) return NotReached(stores, path, hr);
  store->SetSortOrder(sortOrder);
  if (CommandOutcome outcome = Locate(stores, path, store, entry); Failed(outcome.status)) return outcome;
  // The service shows a code's visitor nothing of the folder: an empty
  // table would read as an empty folder, or as lost uploads.
  if (path.view == RemoteView::kUpload && stores.GetSession().accessCode) {
    if (options.json) std::cout << "[]" << std::endl;
    std::cerr << "korvex: " << path.Display() << ": " << Text(kTxtCodeCannotList) << std::endl;
    return {};
  }
  std::vector<ContainerInfo> containers;
  std::vector<ItemInfo> items;
  if (!entry.isContainer) {
    items.push_back(entry.item);
  } else if (Failed(hr = ListContainer(*store, entry.container, containers, items))) {
    return {hr, path.Display(), {}};
  }
  // Folders are listed by name; a descending name order turns them round too.
  if (sortOrder == kSortNameDescending) std::reverse(containers.begin(), containers.end());
  PrintListing(options, containers, items);
  return {};
}

}  // namespace

int RunLs(const GlobalOptions& options, const DeploymentValues& deployment, const FileArgs& args) {
  const auto paths = ParseAll(args.paths.empty() ? std::vector<std::string>{"/"} : args.paths);
  if (!paths) return kExitUsage;
  return RunWithSession(options, deployment,
                        [&](SessionStores& stores) { return Ls(stores, options, paths->front(), args.sortOrder); });
}

int RunMkdir(const GlobalOptions& options, const DeploymentValues& deployment, const FileArgs& args) {
  const auto paths = ParseAll(args.paths);
  if (!paths) return kExitUsage;
  const RemotePath& path = paths->front();
  if (path.IsRoot()) return ReportMessage(path.Display() + ": " + std::string(Text(kTxtRootRefused)), kExitUsage);
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    // The view lists other users' folders; none of its own can be made there.
    if (path.view == RemoteView::kShares && path.Parent().IsRoot())
      return {E_ACCESSDENIED, path.Display(), std::string(Text(kTxtSharesRootMkdir))};
    DataStore* store = nullptr;
    ContainerInfo parent;
    if (CommandOutcome outcome = LocateFolder(stores, path.Parent(), store, parent); Failed(outcome.status))
      return outcome;
    if (const EntryCounts counts = store->GetCounts(parent, false); Failed(counts.status))
      return {counts.status, path.Display(), {}};
    ContainerInfo created;
    // The service answers an existing name with that folder; the user asked
    // for a new one.
    if (store->GetContainerInfo(parent.uri + path.Leaf() + "/", created))
      return {HR_ALREADY_EXISTS, path.Display(), std::string(Text(kTxtFolderExists))};
    created.name = path.Leaf();
    if (const HRESULT hr = store->CreateContainer(parent, created); Failed(hr))
      return MkdirRefused(stores, path, hr);
    if (options.json) std::cout << ContainerJson(created) << std::endl;
    return {};
  });
}

int RunRm(const GlobalOptions& options, const DeploymentValues& deployment, const FileArgs& args) {
  const auto paths = ParseAll(args.paths);
  if (!paths) return kExitUsage;
  for (const RemotePath& path : *paths) {
    if (path.IsRoot()) return ReportMessage(path.Display() + ": " + std::string(Text(kTxtRootRefused)), kExitUsage);
  }
  // A renewed session's second attempt starts at the path the first one
  // stopped on: those before it are gone already.
  std::size_t next = 0;
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    for (; next < paths->size(); ++next) {
      const RemotePath& path = (*paths)[next];
      DataStore* store = nullptr;
      RemoteEntry entry;
      if (CommandOutcome outcome = Locate(stores, path, store, entry); Failed(outcome.status)) return outcome;
      const HRESULT hr = entry.isContainer ? store->DeleteContainer(entry.container) : store->DeleteItem(entry.item);
      if (Failed(hr)) return {hr, path.Display(), {}};
    }
    return {};
  });
}

// mv and cp: every source into the folder named last.
int RunTransfer(const GlobalOptions& options, const DeploymentValues& deployment, const FileArgs& args, bool copy) {
  const auto paths = ParseAll(args.paths);
  if (!paths) return kExitUsage;
  if (paths->size() < 2) return ReportMessage(Text(kTxtNeedSourceAndTarget), kExitUsage);
  const std::uint32_t flag = args.overwrite ? 1 : 0;
  // A renewed session's second attempt starts at the source the first one
  // stopped on: those before it are moved or copied already.
  std::size_t next = 0;
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    DataStore* targetStore = nullptr;
    ContainerInfo target;
    const RemotePath& targetPath = paths->back();
    if (CommandOutcome outcome = LocateFolder(stores, targetPath, targetStore, target); Failed(outcome.status))
      return outcome;
    for (; next + 1 < paths->size(); ++next) {
      const RemotePath& path = (*paths)[next];
      DataStore* store = nullptr;
      RemoteEntry entry;
      if (CommandOutcome outcome = Locate(stores, path, store, entry); Failed(outcome.status)) return outcome;
      HRESULT hr = S_OK;
      if (path.IsRoot()) {
        hr = E_ACCESSDENIED;
      } else if (entry.isContainer && copy) {
        return {E_INVALIDARG, path.Display(), std::string(Text(kTxtCannotCopyFolder))};
      } else if (entry.isContainer && store == targetStore && target.uri.starts_with(entry.container.uri)) {
        // The service answers this with "target folder does not exist".
        return {E_INVALIDARG, path.Display(), "a folder cannot be moved into itself"};
      } else if (entry.isContainer) {
        hr = store->MoveContainer(entry.container, entry.parent, target, flag);
      } else {
        hr = copy ? store->CopyItem(entry.item, entry.parent, target, flag)
                  : store->MoveItem(entry.item, entry.parent, target, flag);
      }
      if (Failed(hr)) return {hr, path.Display(), {}};
    }
    return {};
  });
}

int RunMv(const GlobalOptions& options, const DeploymentValues& deployment, const FileArgs& args) {
  return RunTransfer(options, deployment, args, false);
}

int RunCp(const GlobalOptions& options, const DeploymentValues& deployment, const FileArgs& args) {
  return RunTransfer(options, deployment, args, true);
}

int RunRename(const GlobalOptions& options, const DeploymentValues& deployment, const FileArgs& args) {
  const auto paths = ParseAll({args.path});
  if (!paths) return kExitUsage;
  const RemotePath& path = paths->front();
  if (path.IsRoot()) return ReportMessage(path.Display() + ": " + std::string(Text(kTxtRootRefused)), kExitUsage);
  if (args.newName.empty() || args.newName.find('/') != std::string::npos || args.newName == "." ||
      args.newName == "..") {
    return ReportMessage(args.newName + ": " + std::string(Text(kTxtBadNewName)), kExitUsage);
  }
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    DataStore* store = nullptr;
    RemoteEntry entry;
    if (CommandOutcome outcome = Locate(stores, path, store, entry); Failed(outcome.status)) return outcome;
    const HRESULT hr = entry.isContainer ? store->RenameContainer(entry.container, args.newName)
                                         : store->RenameItem(entry.item, args.newName);
    if (Failed(hr)) return {hr, path.Display(), {}};
    return {};
  });
}

}  // namespace korvex::cli

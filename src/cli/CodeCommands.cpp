//===- cli/CodeCommands.cpp - code list, create, edit, delete, send -------===//

#include "cli/Console.h"
#include "cli/SharingCommands.h"
#include "cli/SharingTexts.h"
#include "store/DataStore.h"

#include <iostream>

namespace korvex::cli {
namespace {

void PrintCodes(const GlobalOptions& options, const std::vector<ContainerCode>& codes) {
  if (options.json) {
    std::string json = "[";
    for (const ContainerCode& c : codes) {
      json += (json.size() > 1 ? "," : "") + std::string("{\"id\":") + JsonString(c.codeId) +
              ",\"code\":" + JsonString(c.code) + ",\"expires\":" + JsonString(c.expireTime) +
              ",\"folder\":" + JsonString(c.directoryName) + "}";
    }
    std::cout << json << "]" << std::endl;
    return;
  }
  Table table({std::string(Text(kTxtColumnId)), std::string(Text(kTxtColumnCode)), std::string(Text(kTxtColumnExpires)),
               std::string(Text(kTxtColumnFolder))});
  for (const ContainerCode& c : codes) table.AddRow({c.codeId, c.code, c.expireTime, c.directoryName});
  table.Print();
}

// Listing, creating and mailing name the folder; editing and deleting only
// the code's id.
CommandOutcome OnFolder(DataStore& store, const ContainerInfo& folder, const GlobalOptions& options,
                        const SharingArgs& args, const std::string& what, const std::string& subject) {
  std::vector<ContainerCode> codes;
  if (what == "create") {
    NewAccessCode made;
    if (const HRESULT hr = store.CreateAccessCode(folder, made); Failed(hr)) return Refused(hr, subject);
    codes.push_back({made.id, made.code, folder.name, made.expireTime, {}, {}, made.ownerId, {}, folder.name});
    PrintCodes(options, codes);
    return {};
  }
  if (const HRESULT hr = store.ListAccessCodes(folder, codes); Failed(hr)) return Refused(hr, subject);
  if (what == "list") {
    PrintCodes(options, codes);
    return {};
  }
  for (const ContainerCode& code : codes) {
    if (code.codeId != args.codeId) continue;
    std::string addresses;
    for (const std::string& word : args.words) addresses += (addresses.empty() ? "" : ",") + word;
    if (const HRESULT hr = store.SendAccessCodeEmail(code.codeId, code.code, addresses, args.message); Failed(hr))
      return Refused(hr, subject);
    if (!options.json) std::cout << code.code << ": " << Text(kTxtMailSent) << " " << addresses << std::endl;
    return {};
  }
  return {HR_FILE_NOT_FOUND, subject + ": " + args.codeId, std::string(Text(kTxtNoSuchCode))};
}

CommandOutcome Code(SessionStores& stores, const GlobalOptions& options, const SharingArgs& args,
                    const std::string& what, const RemotePath& path) {
  if (what == "edit" || what == "delete") {
    HRESULT hr = S_OK;
    DataStore* store = stores.Store(RemoteView::kMyDisk, hr);
    if (!store) return {hr, "code", std::string(Text(kTxtViewNotReachable))};
    std::string ids;
    for (const std::string& id : args.words) ids += (ids.empty() ? "" : ",") + id;
    hr = what == "edit" ? store->EditAccessCode(args.codeId, args.expiration) : store->DeleteAccessCodes(ids);
    if (Failed(hr)) return Refused(hr, what == "edit" ? args.codeId : ids);
    if (!options.json) std::cout << (what == "edit" ? args.codeId : ids) << ": " << Text(kTxtDone) << std::endl;
    return {};
  }
  DataStore* store = nullptr;
  RemoteEntry entry;
  if (CommandOutcome located = LocateEntry(stores, path, true, store, entry); Failed(located.status)) return located;
  return OnFolder(*store, entry.container, options, args, what, path.Display());
}

}  // namespace

int RunCode(const GlobalOptions& options, const DeploymentValues& deployment, const SharingArgs& args,
            const std::string& what) {
  RemotePath path;
  if (what != "edit" && what != "delete" && !ParsePathArg(args.path, path)) return kExitUsage;
  return RunWithSession(options, deployment,
                        [&](SessionStores& stores) { return Code(stores, options, args, what, path); });
}

}  // namespace korvex::cli

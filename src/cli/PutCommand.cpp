//===- cli/PutCommand.cpp - Uploading local files ------------------------===//
//
// An access-code visitor's `put`: one file at a time through the block
// protocol (see session/LocalUpload.h), with a percentage on a terminal.

#include "cli/Console.h"
#include "cli/SharingCommands.h"
#include "cli/SharingTexts.h"
#include "session/LocalUpload.h"
#include "store/DataStore.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>

namespace korvex::cli {
namespace {

namespace fs = std::filesystem;

/// The terminal's line of one file, cleared when the last block is sent.
void ShowProgress(const ItemInfo& item, std::uint64_t sent) {
  if (sent < item.size)
    std::cerr << "\r" << item.name << "  " << sent * 100 / item.size << "%" << std::flush;
  else
    std::cerr << "\r" << std::string(item.name.size() + 6, ' ') << "\r" << std::flush;
}

CommandOutcome PutOne(DataStore& store, const ContainerInfo& folder, const fs::path& local, bool overwrite) {
  const std::string subject = local.string();
  std::string message;
  ItemInfo item;
  const HRESULT hr = UploadLocalFile(store, folder, local, overwrite,
                                     ::isatty(STDERR_FILENO) == 1 ? UploadProgress(ShowProgress) : nullptr, item, message);
  if (hr == E_INVALIDARG) return {hr, subject, std::string(Text(kTxtNotARegularFile))};
  if (hr == kLocalFileUnreadable) return {E_ACCESSDENIED, subject, std::string(Text(kTxtUnreadable))};
  if (Failed(hr)) return message.empty() ? Refused(hr, subject) : CommandOutcome{hr, subject, message};
  std::cout << Text(kTxtUploaded) << " " << item.name << " (" << HumanSize(item.size) << ")" << std::endl;
  return {};
}

}  // namespace

int RunVisitorPut(const GlobalOptions& options, const DeploymentValues& deployment, const SharingArgs& args) {
  RemotePath target;
  if (!args.target.empty() && !ParsePathArg(args.target, target)) return kExitUsage;
  std::size_t next = 0;  // a renewed session's second attempt goes on from here
  return RunWithSession(options, deployment, [&](SessionStores& stores) -> CommandOutcome {
    RemotePath path = target;
    if (args.target.empty()) path.view = stores.GetSession().accessCode ? RemoteView::kUpload : RemoteView::kMyDisk;
    DataStore* store = nullptr;
    RemoteEntry entry;
    if (CommandOutcome located = LocateEntry(stores, path, true, store, entry); Failed(located.status)) return located;
    for (; next < args.words.size(); ++next) {
      if (CommandOutcome outcome = PutOne(*store, entry.container, args.words[next], args.overwrite);
          Failed(outcome.status))
        return outcome;
    }
    return {};
  });
}

}  // namespace korvex::cli

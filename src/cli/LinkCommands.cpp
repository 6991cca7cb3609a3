//===- cli/LinkCommands.cpp - link, preview and count ---------------------===//

#include "cli/Console.h"
#include "cli/SharingCommands.h"
#include "cli/SharingTexts.h"
#include "platform/AsciiText.h"
#include "service/WindowRequests.h"
#include "store/DataStore.h"

#include <iostream>

namespace korvex::cli {
namespace {

std::uint64_t IdOf(const boost::any& tag) {
  const auto* id = boost::any_cast<std::uint64_t>(&tag);
  return id ? *id : 0;
}

std::string Join(const std::vector<std::string>& words, const char* separator) {
  std::string joined;
  for (const std::string& word : words) joined += (joined.empty() ? "" : separator) + word;
  return joined;
}

void PrintDetail(const GlobalOptions& options, const LinkDetail& d) {
  if (options.json) {
    std::cout << "{\"url\":" << JsonString(d.url) << ",\"validity\":" << JsonString(d.dist)
              << ",\"downloads\":" << d.used << ",\"daysLeft\":" << d.overtime << "}" << std::endl;
    return;
  }
  std::cout << d.url << "\n"
            << Text(kTxtLinkValidity) << " " << d.dist << "\n"
            << Text(kTxtLinkDownloads) << " " << d.used << "\n"
            << Text(kTxtLinkDaysLeft) << " "
            << (d.overtime < 0 ? std::string(Text(kTxtLinkNoExpiry)) : std::to_string(d.overtime)) << std::endl;
}

// With a message the service mails the file's link with it; without one,
// the link address itself is mailed. Either needs a link to exist.
CommandOutcome SendLinkMail(DataStore& store, const ItemInfo& file, const SharingArgs& args,
                            const std::string& subject) {
  LinkDetail detail;
  HRESULT hr = store.GetClientLinkDetail(file, detail);
  if (Failed(hr)) return {hr, subject, std::string(Text(kTxtLinkNone))};
  const std::string addresses = Join(args.words, ",");
  hr = args.message.empty() ? store.SendLink(addresses, detail.url, file.name)
                            : store.SendItemToEmail(IdOf(file.tag), addresses, args.message);
  return Failed(hr) ? Refused(hr, subject) : CommandOutcome{};
}

CommandOutcome Link(SessionStores& stores, const GlobalOptions& options, const SharingArgs& args,
                    const RemotePath& path, const std::string& what) {
  DataStore* store = nullptr;
  RemoteEntry entry;
  if (CommandOutcome located = LocateEntry(stores, path, false, store, entry); Failed(located.status)) return located;
  const ItemInfo& file = entry.item;
  const std::string subject = path.Display();
  HRESULT hr = S_OK;
  if (what == "create") {
    std::string url;
    if (Failed(hr = store->GetItemCodes(file, args.days, args.expires, url))) return Refused(hr, subject);
    std::cout << (options.json ? "{\"url\":" + JsonString(url) + "}" : url) << std::endl;
    return {};
  }
  if (what == "show") {
    LinkDetail detail;
    if (Failed(hr = store->GetClientLinkDetail(file, detail))) return Refused(hr, subject);
    PrintDetail(options, detail);
    return {};
  }
  if (what == "send") {
    if (CommandOutcome sent = SendLinkMail(*store, file, args, subject); Failed(sent.status)) return sent;
  } else {
    hr = what == "change" ? store->ChangeItemCodes(file, args.days, args.expires) : store->RemoveItemCodes(file);
    if (Failed(hr)) return Refused(hr, subject);
  }
  if (!options.json) {
    std::cout << subject << ": "
              << (what == "send" ? std::string(Text(kTxtMailSent)) + " " + Join(args.words, ", ")
                                 : std::string(Text(kTxtDone)))
              << std::endl;
  }
  return {};
}

// Previews are asked for on the service back end behind the view's store.
KorvexDataStoreRemote* ServiceBehind(DataStore& store) { return dynamic_cast<KorvexDataStoreRemote*>(store.Remote()); }

bool IsVideo(const std::string& name) {
  for (const char* extension : {".mp4", ".mkv", ".avi", ".mov", ".wmv", ".flv", ".webm", ".rmvb", ".3gp"}) {
    if (EndsWithIgnoringAsciiCase(name, extension)) return true;
  }
  return false;
}

// Runs `ask` on the service behind the entry at `path` and prints `print`
// of its payload.
template <class Payload, class Ask, class Print>
CommandOutcome AskService(SessionStores& stores, const RemotePath& path, bool folder, Ask&& ask, Print&& print) {
  DataStore* store = nullptr;
  RemoteEntry entry;
  if (CommandOutcome located = LocateEntry(stores, path, folder, store, entry); Failed(located.status)) return located;
  KorvexDataStoreRemote* service = ServiceBehind(*store);
  if (!service) return {E_ACCESSDENIED, path.Display(), std::string(Text(kTxtViewNotReachable))};
  std::string message;
  const HRESULT hr = Await<Payload>([&](AsyncResult** r) { return ask(*service, entry, r); },
                                    [&](const Payload& payload) { std::cout << print(payload) << std::endl; }, message);
  if (Failed(hr)) return {hr, path.Display(), message};
  return {};
}

}  // namespace

int RunLink(const GlobalOptions& options, const DeploymentValues& deployment, const SharingArgs& args,
            const std::string& what) {
  RemotePath path;
  if (!ParsePathArg(args.path, path)) return kExitUsage;
  return RunWithSession(options, deployment,
                        [&](SessionStores& stores) { return Link(stores, options, args, path, what); });
}

int RunPreview(const GlobalOptions& options, const DeploymentValues& deployment, const SharingArgs& args) {
  RemotePath path;
  if (!ParsePathArg(args.path, path)) return kExitUsage;
  return RunWithSession(options, deployment, [&](SessionStores& stores) {
    return AskService<PreviewPayload>(
        stores, path, false,
        [](KorvexDataStoreRemote& s, const RemoteEntry& e, AsyncResult** r) {
          return s.GetPreviewUrl(e.item, IsVideo(e.item.name), r);
        },
        [&](const PreviewPayload& p) {
          return options.json ? "{\"url\":" + JsonString(boost::get<1>(p)) + "}" : boost::get<1>(p);
        });
  });
}

int RunCount(const GlobalOptions& options, const DeploymentValues& deployment, const SharingArgs& args) {
  RemotePath path;
  if (!ParsePathArg(args.path, path)) return kExitUsage;
  return RunWithSession(options, deployment, [&](SessionStores& stores) {
    return AskService<FileCountPayload>(
        stores, path, true,
        [](KorvexDataStoreRemote& s, const RemoteEntry& e, AsyncResult** r) { return s.CountFiles(e.container, r); },
        [&](const FileCountPayload& p) {
          const std::string count = std::to_string(boost::get<1>(p));
          return options.json ? "{\"files\":" + count + "}" : count;
        });
  });
}

}  // namespace korvex::cli

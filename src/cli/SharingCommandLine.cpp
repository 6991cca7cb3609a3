//===- cli/SharingCommandLine.cpp - Parsing the sharing commands ----------===//

#include "cli/Console.h"
#include "cli/SharingCommands.h"
#include "cli/SharingTexts.h"
#include "store/DataStore.h"

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <utility>

namespace korvex::cli {
namespace {

using Choose = std::function<void(CLI::App*, CommandAction)>;

// Checked before anything is sent: the service would store a date that
// has passed (a link dead at birth) and roll an impossible one over
// (2099-02-30 becomes 2099-03-02).
std::string CheckFutureDate(const std::string& text) {
  int year = 0;
  unsigned month = 0, day = 0;
  char dash1 = 0, dash2 = 0;
  char rest = 0;
  if (text.size() != 10 ||
      std::sscanf(text.c_str(), "%4d%c%2u%c%2u%c", &year, &dash1, &month, &dash2, &day, &rest) != 5 || dash1 != '-' ||
      dash2 != '-')
    return "expected a date as YYYY-MM-DD: " + text;
  const std::chrono::year_month_day parsed{std::chrono::year(year), std::chrono::month(month), std::chrono::day(day)};
  if (!parsed.ok()) return "no such date: " + text;
  const auto today = std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now());
  if (std::chrono::sys_days(parsed) < today) return "the date has passed: " + text;
  return {};
}

// A code's expiry: a date, or a number of days from 1 on.
std::string CheckExpiry(const std::string& text) {
  if (text.find('-') != std::string::npos) return CheckFutureDate(text);
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(text) < 1)
    return "expected a date (YYYY-MM-DD) or a number of days from 1: " + text;
  return {};
}

void AddShareCommands(CLI::App& app, SharingArgs& a, const Choose& choose) {
  const std::map<std::string, std::uint32_t> rights{
      {"admin", 0xFFFF}, {"updown", 0x8E0}, {"up", 0x8C0}, {"down", 0x8A0}};
  CLI::App* share = app.add_subcommand("share", "Share a folder with users");
  share->add_option("DIR", a.path, "The folder");
  share->add_option("USER", a.words, "Login names (name or name@domain)");
  share->add_option("--rights", a.rights, "admin, updown, up or down (default down)")
      ->transform(CLI::CheckedTransformer(rights));
  // A parent's callback runs after its subcommand's, so "share" alone
  // decides which of its forms was chosen.
  choose(share, [&a, share](const GlobalOptions& o, const DeploymentValues& d) {
    const auto chosen = share->get_subcommands();
    return RunShare(o, d, a, chosen.empty() ? std::string("add") : chosen.front()->get_name());
  });

  CLI::App* edit = share->add_subcommand("edit", "Change the rights of users of a share");
  edit->add_option("DIR", a.path, "The folder")->required();
  edit->add_option("USER", a.words, "Login names")->required();
  edit->add_option("--rights", a.rights, "admin, updown, up or down (default down)")
      ->transform(CLI::CheckedTransformer(rights));
  CLI::App* remove = share->add_subcommand("remove", "Stop sharing a folder with one user");
  remove->add_option("DIR", a.path, "The folder")->required();
  remove->add_option("USER", a.words, "The login name")->required()->expected(1);
  CLI::App* cancel = share->add_subcommand("cancel", "Stop sharing a folder (or give up a folder shared with you)");
  cancel->add_option("DIR", a.path, "The folder")->required();
  CLI::App* list = share->add_subcommand("list", "List the users of a shared folder");
  list->add_option("DIR", a.path, "The folder")->required();

  choose(app.add_subcommand("contacts", "List the other users of the domain"),
         [](const GlobalOptions& o, const DeploymentValues& d) { return RunContacts(o, d); });
}

void AddLinkCommands(CLI::App& app, SharingArgs& a, const Choose& choose) {
  auto action = [&a](std::string what) {
    return [&a, what](const GlobalOptions& o, const DeploymentValues& d) { return RunLink(o, d, a, what); };
  };
  CLI::App* link = app.add_subcommand("link", "Download links of files");
  link->require_subcommand(1);
  for (const auto& [name, help] : {std::pair{"create", "Create the download link of a file"},
                                    std::pair{"change", "Change how long the link of a file stays valid"}}) {
    CLI::App* command = link->add_subcommand(name, help);
    command->add_option("FILE", a.path, "The file")->required();
    CLI::Option* days =
        command->add_option("--days", a.days, "Valid for N days (default 7)")->check(CLI::Range(1u, 36500u));
    command->add_option("--expires", a.expires, "Valid until DATE (YYYY-MM-DD)")->excludes(days)->check(CheckFutureDate);
    choose(command, action(name));
  }
  for (const auto& [name, help] : {std::pair{"show", "Show the link of a file, its downloads and days left"},
                                    std::pair{"remove", "Remove the download link of a file"}}) {
    CLI::App* command = link->add_subcommand(name, help);
    command->add_option("FILE", a.path, "The file")->required();
    choose(command, action(name));
  }
  CLI::App* send = link->add_subcommand("send", "Mail the link of a file");
  send->add_option("FILE", a.path, "The file")->required();
  send->add_option("EMAIL", a.words, "Mail addresses")->required();
  send->add_option("--message", a.message, "Text of the mail");
  choose(send, action("send"));

  CLI::App* preview = app.add_subcommand("preview", "Print the preview address of a picture or video");
  preview->add_option("FILE", a.path, "The file")->required();
  choose(preview, [&a](const GlobalOptions& o, const DeploymentValues& d) { return RunPreview(o, d, a); });
  CLI::App* count = app.add_subcommand("count", "Count the files below a folder");
  count->add_option("DIR", a.path, "The folder")->required();
  choose(count, [&a](const GlobalOptions& o, const DeploymentValues& d) { return RunCount(o, d, a); });
}

void AddCodeCommands(CLI::App& app, SharingArgs& a, const Choose& choose) {
  auto action = [&a](std::string what) {
    return [&a, what](const GlobalOptions& o, const DeploymentValues& d) { return RunCode(o, d, a, what); };
  };
  CLI::App* code = app.add_subcommand("code", "Upload access codes of folders");
  code->require_subcommand(1);
  for (const auto& [name, help] : {std::pair{"list", "List the access codes of a folder"},
                                    std::pair{"create", "Create an access code for uploads into a folder"}}) {
    CLI::App* command = code->add_subcommand(name, help);
    command->add_option("DIR", a.path, "The folder")->required();
    choose(command, action(name));
  }
  CLI::App* edit = code->add_subcommand("edit", "Change when a code expires");
  edit->add_option("ID", a.codeId, "The code's id")->required();
  edit->add_option("EXPIRY", a.expiration, "A date (YYYY-MM-DD) or a number of days")->required()->check(CheckExpiry);
  choose(edit, action("edit"));
  CLI::App* remove = code->add_subcommand("delete", "Delete access codes");
  remove->add_option("ID", a.words, "The codes' ids")->required();
  choose(remove, action("delete"));
  // The mail needs the code itself, which only the folder's listing knows.
  CLI::App* send = code->add_subcommand("send", "Mail an access code");
  send->add_option("ID", a.codeId, "The code's id")->required();
  send->add_option("EMAIL", a.words, "Mail addresses")->required();
  send->add_option("--dir", a.path, "The folder of the code")->required();
  send->add_option("--message", a.message, "Text of the mail");
  choose(send, action("send"));

}

}  // namespace

void AddSharingCommands(CLI::App& app, SharingArgs& args, const Choose& choose) {
  AddShareCommands(app, args, choose);
  AddLinkCommands(app, args, choose);
  AddCodeCommands(app, args, choose);
}

bool ParsePathArg(const std::string& text, RemotePath& path) {
  std::string error;
  std::optional<RemotePath> parsed = ParseRemotePath(text, error);
  if (!parsed) {
    ReportMessage(text + ": " + error, kExitUsage);
    return false;
  }
  path = std::move(*parsed);
  return true;
}

CommandOutcome LocateEntry(SessionStores& stores, const RemotePath& path, bool wantFolder, DataStore*& store,
                           RemoteEntry& entry) {
  HRESULT hr = S_OK;
  store = stores.Store(path.view, hr);
  if (!store) return {hr, path.Display(), std::string(Text(kTxtViewNotReachable))};
  if (Failed(hr = FindEntry(*store, path, entry))) {
    return {hr, path.Display(), hr == HR_FILE_NOT_FOUND ? std::string(Text(kTxtNoSuchRemote)) : std::string()};
  }
  if (entry.isContainer != wantFolder)
    return {E_INVALIDARG, path.Display(), std::string(Text(wantFolder ? kTxtNotAFolder : kTxtNotAFile))};
  return {};
}

CommandOutcome Refused(HRESULT status, const std::string& subject) {
  return {status, subject, DataStore::LastErrorMessage()};
}

}  // namespace korvex::cli

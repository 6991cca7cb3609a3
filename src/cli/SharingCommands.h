//===- cli/SharingCommands.h - Shares, links, codes, previews, uploads -*- C++ -*-===//
///
/// The commands that share folders with other users, manage download links
/// and upload access codes, show what the main window shows besides the
/// files (file counts, preview addresses), and upload local files, most
/// usefully after `korvex login --code`. Each runs on the session kept by
/// `korvex login`; a path that cannot be parsed is a usage error before
/// anything is sent.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "cli/RemoteTree.h"
#include "cli/SessionRunner.h"
#include "foundation/Deployment.h"
#include "service/KorvexDataStoreRemote.h"
#include "session/ClientStartup.h"
#include "session/LocalUpload.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace korvex::cli {

// The command line is one front end of the session layer.
using namespace korvex::session;

struct SharingArgs {
  std::string path;                ///< the folder or file the command is about
  std::vector<std::string> words;  ///< users, mail addresses or code ids
  std::uint32_t rights = 0x8A0;    ///< share rights; download only unless told otherwise
  std::uint32_t days = 7;          ///< link validity in days
  std::string expires;             ///< link expiry date; wins over `days`
  std::string message;             ///< text of a mail
  std::string codeId;              ///< code edit and send
  std::string expiration;          ///< code edit
  std::string target;              ///< put: the folder receiving the files
  bool overwrite = false;          ///< put: replace a file of the same name
};

using CommandAction = std::function<int(const GlobalOptions&, const DeploymentValues&)>;

/// Adds `share`, `contacts`, `link`, `code`, `preview` and `count`,
/// parsing into `args` (which must outlive the run); the chosen command
/// hands its action to `choose`.
void AddSharingCommands(CLI::App& app, SharingArgs& args, const std::function<void(CLI::App*, CommandAction)>& choose);

// The commands, by what they are about.
int RunShare(const GlobalOptions&, const DeploymentValues&, const SharingArgs&, const std::string& what);
int RunContacts(const GlobalOptions&, const DeploymentValues&);
int RunLink(const GlobalOptions&, const DeploymentValues&, const SharingArgs&, const std::string& what);
int RunCode(const GlobalOptions&, const DeploymentValues&, const SharingArgs&, const std::string& what);
int RunPreview(const GlobalOptions&, const DeploymentValues&, const SharingArgs&);
int RunCount(const GlobalOptions&, const DeploymentValues&, const SharingArgs&);
/// An access-code visitor's upload: `words` are local files, `target` the folder
/// (default upload:/). `korvex put` hands over to it after `login --code`.
int RunVisitorPut(const GlobalOptions&, const DeploymentValues&, const SharingArgs&);

// Shared by the commands above.

/// Parses `text`; false after reporting a usage error.
[[nodiscard]] bool ParsePathArg(const std::string& text, RemotePath& path);

/// The entry at `path` with the store of its view; `wantFolder` decides
/// which kind the command needs.
[[nodiscard]] CommandOutcome LocateEntry(SessionStores& stores, const RemotePath& path, bool wantFolder,
                                         DataStore*& store, RemoteEntry& entry);

/// A failed call's outcome with the service's own words as the fallback text.
[[nodiscard]] CommandOutcome Refused(HRESULT status, const std::string& subject);

}  // namespace korvex::cli

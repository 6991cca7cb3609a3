//===- cli/CommandLine.cpp - korvex's command line ------------------------===//

#include "cli/CommandLine.h"

#include "cli/AccountCommands.h"
#include "cli/BackupCommands.h"
#include "cli/Console.h"
#include "cli/FileCommands.h"
#include "cli/LocalCommands.h"
#include "cli/MountCommand.h"
#include "cli/SharingCommands.h"
#include "cli/TransferCommands.h"
#include "cli/TransferOutcome.h"
#include "cli/UpdateCommands.h"
#include "foundation/Deployment.h"
#include "platform/VersionMarker.h"
#include "session/ClientStartup.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <iostream>
#include <map>
#include <memory>

namespace korvex::cli {

namespace {

using Action = std::function<int(const GlobalOptions&, const DeploymentValues&)>;

// Everything the parser fills in; the chosen command leaves its action here.
struct Invocation {
  GlobalOptions options;
  Action action;
  DecryptArgs decrypt;
  LoginArgs login;
  std::string forgetName;
  FileArgs files;
  TransferArgs transfers;
  SharingArgs sharing;
  UpdateArgs update;
  BackupArgs backup;
  MountArgs mount;
};

// Stores the command's action; the run itself waits for start-up.
template <typename Run>
void OnChosen(CLI::App* command, Invocation& in, Run run) {
  command->callback([&in, run] { in.action = run; });
}

void AddGlobalOptions(CLI::App& app, GlobalOptions& o) {
  const auto url = CLI::Validator(
      [](std::string& value) { return IsServiceUrl(value) ? std::string() : "not an http(s) URL: " + value; }, "URL");
  const auto domain = CLI::Validator(
      [](std::string& value) { return IsDomainName(value) ? std::string() : "not a domain name: " + value; },
      "NAME");
  app.add_option("--web-url", o.webUrl, "Web-site base URL (login, updates)")->check(url);
  app.add_option("--api-url", o.apiUrl, "API base URL")->check(url);
  app.add_option("--data-url", o.dataUrl, "Data base URL (file transfers)")->check(url);
  app.add_option("--service-domain", o.serviceDomain, "The service's domain name")->check(domain);
  app.add_option("--ca-file", o.caFile, "Extra trusted CA certificates (PEM)")->check(CLI::ExistingFile);
  app.add_flag("--insecure", o.insecure, "Do not verify certificates (tests and demos only)");
  app.add_option("--lang", o.language, "Language of this run")->check(CLI::IsMember({"en", "zh"}));
  app.add_flag("--json", o.json, "Machine-readable output on standard output");
  app.add_flag("-v,--verbose", o.verbose, "Log at level 1, also to standard error");
}

void AddLocalCommands(CLI::App& app, Invocation& in) {
  OnChosen(app.add_subcommand("version", "Print the version"), in,
           [](const GlobalOptions& o, const DeploymentValues&) { return RunVersion(o); });

  CLI::App* decrypt = app.add_subcommand("decrypt", "Decrypt a downloaded FILE.lock into FILE");
  decrypt->add_option("FILE", in.decrypt.file, "The encrypted file")->required();
  decrypt->add_flag("--password-stdin", in.decrypt.passwordStdin, "Read the password from standard input");
  decrypt->add_flag("--overwrite", in.decrypt.overwrite, "Replace FILE when it exists");
  OnChosen(decrypt, in, [&in](const GlobalOptions& o, const DeploymentValues&) { return RunDecrypt(o, in.decrypt); });

  CLI::App* update = app.add_subcommand("update", "Check for a newer korvex and install it");
  update->add_flag("--check", in.update.check, "Only report whether a newer version is published");
  // The downloaded copy is started as "korvex update PATH" to replace PATH.
  update->add_option("PATH", in.update.installTarget)->group("");
  OnChosen(update, in, [&in](const GlobalOptions& o, const DeploymentValues& d) { return RunUpdate(o, d, in.update); });
  OnChosen(app.add_subcommand("diagnose", "Check the network connection to the service"), in,
           [](const GlobalOptions& o, const DeploymentValues& d) { return RunDiagnose(o, d); });
}

void AddAccountCommands(CLI::App& app, Invocation& in) {
  CLI::App* login = app.add_subcommand("login", "Log in with an account or an access code");
  login->add_option("NAME", in.login.name, "Login name");
  login->add_option("--domain", in.login.domain, "Enterprise domain");
  login->add_option("--code", in.login.code, "Log in with an upload access code instead");
  login->add_flag("--password-stdin", in.login.passwordStdin, "Read the password from standard input");
  login->add_flag("--remember-password", in.login.rememberPassword, "Save the password with the account");
  login->add_flag("--no-remember-account", in.login.noRememberAccount, "Do not save the account");
  login->add_flag("--auto-login", in.login.autoLogin, "Log in automatically when the desktop client starts");
  OnChosen(login, in, [&in](const GlobalOptions& o, const DeploymentValues& d) { return RunLogin(o, d, in.login); });

  OnChosen(app.add_subcommand("logout", "End the kept session"), in,
           [](const GlobalOptions& o, const DeploymentValues&) { return RunLogout(o); });
  OnChosen(app.add_subcommand("whoami", "Show the logged-in account"), in,
           [](const GlobalOptions& o, const DeploymentValues&) { return RunWhoami(o); });

  CLI::App* accounts = app.add_subcommand("accounts", "List saved accounts");
  CLI::App* forget = accounts->add_subcommand("forget", "Forget a saved account");
  forget->add_option("NAME", in.forgetName, "Login name")->required();
  // The parent's callback runs after this one; it must not replace the action.
  forget->callback([&in] {
    in.action = [&in](const GlobalOptions& o, const DeploymentValues&) { return RunForgetAccount(o, in.forgetName); };
  });
  accounts->callback([&in, forget] {
    if (forget->parsed()) return;
    in.action = [](const GlobalOptions& o, const DeploymentValues&) { return RunAccounts(o); };
  });
}

void AddFileCommands(CLI::App& app, Invocation& in) {
  FileArgs& f = in.files;
  const std::map<std::string, std::uint32_t> orders{{"name", 1}, {"name-desc", 2}, {"size", 3}, {"size-desc", 4},
                                                    {"time", 5}, {"time-desc", 6}, {"type", 7}, {"type-desc", 8}};
  CLI::App* ls = app.add_subcommand("ls", "List a folder (/, shares:/, backup:/, upload:/)");
  ls->add_option("PATH", f.paths, "Remote path (default /)")->expected(0, 1);
  ls->add_option("--sort", f.sortOrder, "Order of files")->transform(CLI::CheckedTransformer(orders));
  OnChosen(ls, in, [&f](const GlobalOptions& o, const DeploymentValues& d) { return RunLs(o, d, f); });

  CLI::App* mkdir = app.add_subcommand("mkdir", "Create a folder");
  mkdir->add_option("PATH", f.paths, "Remote path of the new folder")->required()->expected(1);
  OnChosen(mkdir, in, [&f](const GlobalOptions& o, const DeploymentValues& d) { return RunMkdir(o, d, f); });

  CLI::App* rm = app.add_subcommand("rm", "Delete files and folders");
  rm->add_option("PATH", f.paths, "Remote paths")->required();
  OnChosen(rm, in, [&f](const GlobalOptions& o, const DeploymentValues& d) { return RunRm(o, d, f); });

  CLI::App* mv = app.add_subcommand("mv", "Move files and folders into a folder");
  mv->add_option("PATH", f.paths, "Sources, then the target folder")->required();
  mv->add_flag("--overwrite", f.overwrite, "Replace files of the same name");
  OnChosen(mv, in, [&f](const GlobalOptions& o, const DeploymentValues& d) { return RunMv(o, d, f); });

  CLI::App* cp = app.add_subcommand("cp", "Copy files into a folder");
  cp->add_option("FILE", f.paths, "Source files, then the target folder")->required();
  cp->add_flag("--overwrite", f.overwrite, "Replace files of the same name");
  OnChosen(cp, in, [&f](const GlobalOptions& o, const DeploymentValues& d) { return RunCp(o, d, f); });

  CLI::App* rename = app.add_subcommand("rename", "Rename a file or folder");
  rename->add_option("PATH", f.path, "Remote path")->required();
  rename->add_option("NEWNAME", f.newName, "The new name")->required();
  OnChosen(rename, in, [&f](const GlobalOptions& o, const DeploymentValues& d) { return RunRename(o, d, f); });

  OnChosen(app.add_subcommand("space", "Show used and total space"), in,
           [](const GlobalOptions& o, const DeploymentValues& d) { return RunSpace(o, d); });
}

void AddRetryFor(CLI::App* command, TransferArgs& t) {
  command
      ->add_option("--retry-for", t.retryFor,
                   "Give up after failing this long (90s, 5m, 1h; default 3m); the transfer is kept")
      ->check([](const std::string& text) {
        return ParseDuration(text) ? std::string() : "--retry-for takes a duration such as 90s, 5m or 1h";
      });
}

void AddTransferCommands(CLI::App& app, Invocation& in) {
  TransferArgs& t = in.transfers;
  CLI::App* put = app.add_subcommand("put", "Upload files and folders (into the remote folder given last, else /)");
  put->add_option("PATH", t.paths, "Local files and folders, then optionally the remote folder")->required();
  put->add_flag("--overwrite", t.overwrite, "Replace files of the same name");
  put->add_flag("--encrypt", t.encrypt, "Encrypt each file with a password (stored as NAME.lock)");
  put->add_flag("--password-stdin", t.passwordStdin, "Read the encryption password from standard input");
  put->add_flag("--background", t.background, "Queue the transfer and return; see korvex transfers");
  AddRetryFor(put, t);
  OnChosen(put, in, [&t](const GlobalOptions& o, const DeploymentValues& d) { return RunPut(o, d, t); });

  CLI::App* get = app.add_subcommand("get", "Download files and folders (into the local folder given last, else .)");
  get->add_option("PATH", t.paths, "Remote files and folders, then optionally the local folder")->required();
  get->add_flag("--overwrite", t.overwrite, "Replace files of the same name");
  get->add_flag("--background", t.background, "Queue the transfer and return; see korvex transfers");
  AddRetryFor(get, t);
  OnChosen(get, in, [&t](const GlobalOptions& o, const DeploymentValues& d) { return RunGet(o, d, t); });

  CLI::App* transfers = app.add_subcommand("transfers", "List, stop, resume, cancel or remove kept transfers");
  transfers->add_option("ACTION", t.action, "list (default), stop, resume, cancel, remove or clear")
      ->check(CLI::IsMember({"list", "stop", "resume", "cancel", "remove", "clear"}));
  transfers->add_option("ID", t.ids, "Transfer ids (default: all that apply)");
  AddRetryFor(transfers, t);
  OnChosen(transfers, in, [&t](const GlobalOptions& o, const DeploymentValues& d) { return RunTransfers(o, d, t); });
}

// Parses; returns an exit code when the run ends here (help, version, bad usage).
std::optional<int> Parse(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    std::cout << app.help("", CLI::AppFormatMode::All);
    return kExitOk;
  } catch (const CLI::CallForVersion&) {
    std::cout << "korvex " << ProgramVersion() << std::endl;
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    return ReportMessage(e.what(), kExitUsage);
  }
  return std::nullopt;
}

int Run(int argc, char** argv) {
  auto in = std::make_unique<Invocation>();
  CLI::App app{"korvex - the KorvexData command-line client", "korvex"};
  app.set_version_flag("--version", std::string(ProgramVersion()));
  app.require_subcommand(1);
  app.fallthrough();
  AddGlobalOptions(app, in->options);
  AddAccountCommands(app, *in);
  AddFileCommands(app, *in);
  AddSharingCommands(app, in->sharing, [&in](CLI::App* command, CommandAction action) {
    OnChosen(command, *in, std::move(action));
  });
  AddLocalCommands(app, *in);
  AddTransferCommands(app, *in);
  AddBackupCommands(app, in->backup, [&in](CLI::App* command, CommandAction action) {
    OnChosen(command, *in, std::move(action));
  });
  AddMountCommand(app, in->mount, [&in](CLI::App* command, CommandAction action) {
    OnChosen(command, *in, std::move(action));
  });
  // Known before parsing, so that even a refused command line answers in JSON.
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--json") SetJsonErrors(true);
  }
  if (const std::optional<int> code = Parse(app, argc, argv)) return *code;

  DeploymentValues deployment;
  std::string error;
  const HRESULT hr = StartClient(in->options, deployment, error);
  int code = kExitFailure;
  if (Failed(hr)) {
    code = ReportMessage(error.empty() ? "invalid deployment settings" : error, kExitFailure);
  } else if (in->action) {
    code = in->action(in->options, deployment);
  }
  StopClient();
  return code;
}

}  // namespace

int RunCommandLine(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    return ReportMessage(std::string("internal error: ") + e.what(), kExitFailure);
  } catch (...) {
    return ReportMessage("internal error", kExitFailure);
  }
}

}  // namespace korvex::cli

//===- cli/CommandLine.cpp - korvex's command line ------------------------===//

#include "cli/CommandLine.h"

#include "cli/ClientStartup.h"
#include "cli/Console.h"
#include "cli/LocalCommands.h"
#include "cli/Version.h"
#include "foundation/Deployment.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <iostream>
#include <memory>

namespace korvex::cli {

namespace {

using Action = std::function<int(const GlobalOptions&, const DeploymentValues&)>;

// Everything the parser fills in; the chosen command leaves its action here.
struct Invocation {
  GlobalOptions options;
  Action action;
  DecryptArgs decrypt;
};

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
  CLI::App* version = app.add_subcommand("version", "Print the version");
  version->callback([&in] { in.action = [](const GlobalOptions& o, const DeploymentValues&) { return RunVersion(o); }; });

  CLI::App* decrypt = app.add_subcommand("decrypt", "Decrypt a downloaded FILE.lock into FILE");
  decrypt->add_option("FILE", in.decrypt.file, "The encrypted file")->required();
  decrypt->add_flag("--password-stdin", in.decrypt.passwordStdin, "Read the password from standard input");
  decrypt->add_flag("--overwrite", in.decrypt.overwrite, "Replace FILE when it exists");
  decrypt->callback([&in] {
    in.action = [&in](const GlobalOptions& o, const DeploymentValues&) { return RunDecrypt(o, in.decrypt); };
  });
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
    std::cout << "korvex " << VersionText() << std::endl;
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    return ReportMessage(e.what(), kExitUsage);
  }
  return std::nullopt;
}

int Run(int argc, char** argv) {
  auto in = std::make_unique<Invocation>();
  CLI::App app{"korvex - the KorvexData command-line client", "korvex"};
  app.set_version_flag("--version", std::string(VersionText()));
  app.require_subcommand(1);
  app.fallthrough();
  AddGlobalOptions(app, in->options);
  AddLocalCommands(app, *in);
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

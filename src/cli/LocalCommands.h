//===- cli/LocalCommands.h - Commands that need no service ------*- C++ -*-===//
#pragma once

#include "session/ClientStartup.h"

#include <string>

namespace korvex::cli {

// The command line is one front end of the session layer.
using namespace korvex::session;

/// `korvex version`: the version marker's text.
int RunVersion(const GlobalOptions& options);

struct DecryptArgs {
  std::string file;
  bool passwordStdin = false;
  bool overwrite = false;
};

/// `korvex decrypt FILE.lock`: writes FILE beside it and deletes the
/// encrypted file once the plaintext is complete. A wrong password writes
/// nothing; an existing FILE is only replaced with --overwrite.
int RunDecrypt(const GlobalOptions& options, const DecryptArgs& args);

}  // namespace korvex::cli

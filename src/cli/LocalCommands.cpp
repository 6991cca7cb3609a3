//===- cli/LocalCommands.cpp - Commands that need no service --------------===//

#include "cli/LocalCommands.h"

#include "cli/Console.h"
#include "cli/PasswordInput.h"
#include "cli/Texts.h"
#include "foundation/CryptoAPI.h"
#include "foundation/LogMgr.h"
#include "platform/AsciiText.h"
#include "platform/SystemError.h"
#include "platform/VersionMarker.h"

#include <filesystem>
#include <iostream>

namespace korvex::cli {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kLockSuffix = ".lock";
// What CryptoAPI reports when the check digest does not match.
constexpr HRESULT kPasswordMismatch = HResultFromWin32(86);

}  // namespace

int RunVersion(const GlobalOptions& options) {
  if (options.json) {
    std::cout << "{\"version\":" << JsonString(ProgramVersion()) << "}" << std::endl;
  } else {
    std::cout << "korvex " << ProgramVersion() << std::endl;
  }
  return kExitOk;
}

int RunDecrypt(const GlobalOptions& options, const DecryptArgs& args) {
  const fs::path source = args.file;
  std::error_code error;
  if (!fs::is_regular_file(source, error)) {
    LogMgr::Get().Warn("_DecryptFile", "Could not find the source file");
    return ReportFailure(HR_FILE_NOT_FOUND, args.file, Text(kTxtNoSuchLocalFile));
  }
  // The target is the name without ".lock"; any other name would lose the
  // last five characters of a real name instead.
  const std::string name = source.filename().string();
  if (name.size() <= kLockSuffix.size() || !EndsWithIgnoringAsciiCase(name, kLockSuffix)) {
    return ReportMessage(args.file + " " + std::string(Text(kTxtNotLockFile)));
  }
  const fs::path target = source.parent_path() / name.substr(0, name.size() - kLockSuffix.size());
  const bool targetExists = fs::exists(target, error);
  LogMgr::Get().Debug("_DecryptFile", targetExists ? "Target file is exits" : "Target file is not exits");
  LogMgr::Get().Trace("_DecryptFile", "Source file = %s Target file= %s ", source.c_str(), target.c_str());
  if (targetExists && !args.overwrite) return ReportMessage(target.string() + " " + std::string(Text(kTxtTargetExists)));

  std::string password;
  HRESULT hr = ReadPassword(args.passwordStdin, Text(kTxtPasswordPrompt), password);
  if (Failed(hr)) return ReportFailure(hr, {}, Text(kTxtNoPassword));
  CryptoAPI crypto;
  hr = crypto.DecryptFile(source, target, password);
  if (hr == kPasswordMismatch) return ReportMessage(Text(kTxtWrongDecryptPassword));
  if (Failed(hr)) return ReportFailure(hr, args.file);
  if (!fs::remove(source, error)) return ReportFailure(HResultFromErrno(error.value()), args.file);
  if (options.json) {
    std::cout << "{\"decrypted\":" << JsonString(target.string()) << "}" << std::endl;
  } else {
    std::cout << target.string() << std::endl;
  }
  return kExitOk;
}

}  // namespace korvex::cli

//===- session/SessionFile.cpp - The login kept between korvex runs -----------===//

#include "session/SessionFile.h"

#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"

#include <boost/lexical_cast.hpp>

#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <sstream>

namespace korvex::session {

namespace {

// A line break inside a value would start a forged line of its own.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

std::uint64_t ToNumber(const std::string& text) {
  std::uint64_t value = 0;
  return boost::conversion::try_lexical_convert(text, value) ? value : 0;
}

}  // namespace

std::filesystem::path SessionFilePath() { return paths::AppDataDir() / "KorvexDataSMB" / "korvex-session"; }

HRESULT LoadSession(Session& session) {
  std::ifstream in(SessionFilePath(), std::ios::binary);
  if (!in) return HR_FILE_NOT_FOUND;
  std::map<std::string, std::string> fields;
  for (std::string line; std::getline(in, line);) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) fields[line.substr(0, equals)] = line.substr(equals + 1);
  }
  Session loaded;
  loaded.accessCode = fields["mode"] == "code";
  loaded.uploadCode = fields["code"];
  loaded.loginName = fields["login"];
  loaded.domain = fields["domain"];
  loaded.accountName = fields["account"];
  loaded.displayName = fields["name"];
  loaded.authPro = fields["AUTH_PRO"];
  loaded.phpSessionId = fields["PHPSESSID"];
  loaded.rootId = ToNumber(fields["dirid"]);
  loaded.shareRootId = ToNumber(fields["secdirid"]);
  loaded.subAccount = fields["issubaccount"] == "1";
  loaded.webUrl = fields["web"];
  if (loaded.authPro.empty() || loaded.rootId == 0) return E_INVALIDARG;
  session = std::move(loaded);
  return S_OK;
}

HRESULT SaveSession(const Session& session) {
  const std::filesystem::path path = SessionFilePath();
  // The folder also holds the logs; 0700 keeps other users out of both.
  std::error_code error;
  std::filesystem::create_directories(path.parent_path().parent_path(), error);
  if (::mkdir(path.parent_path().c_str(), 0700) != 0 && errno != EEXIST) return HResultFromErrno(errno);
  std::ostringstream out;
  out << "mode=" << (session.accessCode ? "code" : "account") << '\n'
      << "code=" << OneLine(session.uploadCode) << '\n'
      << "login=" << OneLine(session.loginName) << '\n'
      << "domain=" << OneLine(session.domain) << '\n'
      << "account=" << OneLine(session.accountName) << '\n'
      << "name=" << OneLine(session.displayName) << '\n'
      << "AUTH_PRO=" << OneLine(session.authPro) << '\n'
      << "PHPSESSID=" << OneLine(session.phpSessionId) << '\n'
      << "dirid=" << session.rootId << '\n'
      << "secdirid=" << session.shareRootId << '\n'
      << "issubaccount=" << (session.subAccount ? 1 : 0) << '\n'
      << "web=" << OneLine(session.webUrl) << '\n';
  return WriteFileAtomically(path, out.str(), 0600);
}

HRESULT DeleteSession() {
  std::error_code error;
  std::filesystem::remove(SessionFilePath(), error);
  return error ? HResultFromErrno(error.value()) : S_OK;
}

}  // namespace korvex::session

// Login on the web site: account login and access-code login.
#include "Service.h"

namespace korvexd {
namespace {

/// Splits "name@domain" when the login name carries its domain.
void SplitLoginName(std::string& name, std::string& domain) {
  std::size_t at = name.rfind('@');
  if (at == std::string::npos) return;
  if (domain.empty()) domain = name.substr(at + 1);
  name = name.substr(0, at);
}

/// The enterprise may be typed as "name.service.domain"; the first label names it.
std::string EnterpriseOf(const std::string& domain) {
  std::size_t dot = domain.find('.');
  return dot == std::string::npos ? domain : domain.substr(0, dot);
}

void StartSession(Service& service, Response& res, std::int64_t userId, std::int64_t codeId) {
  std::string auth = RandomHex(20);
  std::string php = RandomHex(16);
  service.db().Exec("INSERT INTO sessions(auth, phpsessid, user_id, code_id, created) VALUES(?,?,?,?,?)",
                    {auth, php, userId, codeId, NowSeconds()});
  SetCookie(res, "AUTH_PRO", auth);
  SetCookie(res, "PHPSESSID", php);
}

void AccountLogin(Service& service, Call& call) {
  std::string name = call.form["loginname"];
  std::string password = call.form["password"];
  std::string domain = call.form["domain"];
  SplitLoginName(name, domain);
  if (name.empty()) return ReplyRefusal(call.res, state::kMissingLoginName, "login name missing");
  auto user = service.catalog().FindUser(name, domain);
  if (!user) user = service.catalog().FindUser(name, EnterpriseOf(domain));
  if (!user) return ReplyRefusal(call.res, state::kNoSuchUser, "user does not exist");
  if (!service.catalog().CheckPassword(user->id, password))
    return ReplyRefusal(call.res, state::kWrongPassword, "wrong user name or password");
  StartSession(service, call.res, user->id, 0);
  ReplyOk(call.res, {{"dirid", std::to_string(user->rootDir)},
                     {"secdirid", std::to_string(user->shareDir)},
                     {"filesize", std::to_string(service.catalog().UsedSpace(user->id))},
                     {"issubaccount", user->isSub ? "1" : "0"},
                     {"status", "1"},
                     {"class", "1"},
                     {"name", user->display},
                     {"loginname", user->name},
                     {"domain", user->domain}});
}

void CodeLogin(Service& service, Call& call) {
  std::string code = call.form["code"];
  auto rows = service.db().Query("SELECT id, dir, owner, expires FROM codes WHERE code=? COLLATE NOCASE",
                                 {code});
  if (code.empty() || rows.empty() || rows[0].Int(3) < NowSeconds())
    return ReplyRefusal(call.res, state::kBadCode, "This code is invalid");
  if (!service.catalog().DirById(rows[0].Int(1)))
    return ReplyRefusal(call.res, state::kBadCode, "This code is invalid");
  StartSession(service, call.res, rows[0].Int(2), rows[0].Int(0));
  ReplyOk(call.res, {{"dirid", std::to_string(rows[0].Int(1))}});
}

}  // namespace

void AddAuthRoutes(Service& service) {
  service.Route("POST", "/2nddomain/loginnorandom", Access::kPublic,
                [&service](Call& call) { AccountLogin(service, call); });
  service.Route("POST", "/accesscode/login", Access::kPublic,
                [&service](Call& call) { CodeLogin(service, call); });
}

}  // namespace korvexd

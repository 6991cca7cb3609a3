// Upload access codes: managing them, and the upload of a visitor who
// entered with one.
//
// A code is eight letters and digits and is valid for 7 days after it is
// made; an expiration text is a date "YYYY-MM-DD[ HH:MM:SS]" (a date alone
// lasts to its end) or a whole number of days from now.
#include <random>

#include "RouteSupport.h"
#include "Transfers.h"

namespace korvexd {
namespace {

constexpr std::int64_t kDay = 24 * 3600;

std::string NewCode() {
  static const char kChars[] = "ABCDEFGHJKLMNPQRSTUVWXYZ23456789";
  std::string hex = RandomHex(8);
  std::string code;
  for (std::size_t i = 0; i < 8; ++i) code += kChars[std::stoi(hex.substr(2 * i, 2), nullptr, 16) % 32];
  return code;
}

std::optional<std::int64_t> ParseExpiration(const std::string& text) {
  if (auto days = ParseI64(text)) {
    if (*days < 0 || *days > 36500) return std::nullopt;
    return NowSeconds() + *days * kDay;
  }
  auto date = ParseDate(text);
  if (!date) return std::nullopt;
  return text.find(':') == std::string::npos ? *date + kDay - 1 : *date;
}

/// The caller's own directory named by the path.
std::optional<Dir> OwnDir(Service& service, Call& call) {
  std::uint32_t mask = 0;
  auto dir = VisibleDir(service, call, PathId(call.req, 1), mask);
  if (!dir) return std::nullopt;
  if (dir->owner != call.user.id || dir->isVirtual) {
    ReplyRefusal(call.res, state::kNoDirAccess, "No permission to access this directory");
    return std::nullopt;
  }
  return dir;
}

void ListCodes(Service& service, Call& call) {
  auto dir = OwnDir(service, call);
  if (!dir) return;
  Json list = Json::array();
  std::int64_t now = NowSeconds();
  for (const Row& r : service.db().Query(
           "SELECT id, code, name, expires, owner FROM codes WHERE dir=? ORDER BY created DESC, id DESC", {dir->id})) {
    list.push_back({{"codeid", r.Text(0)}, {"code", r.Text(1)}, {"name", r.Text(2)},
                    {"expiretime", FormatDate(r.Int(3))}, {"logourl", ""},
                    {"isexpired", r.Int(3) < now ? "1" : "0"}, {"dirname", dir->name},
                    {"directoryid", std::to_string(dir->id)}, {"ownerid", r.Text(4)}});
  }
  ReplyOk(call.res, {{"list", list}});
}

void CreateCode(Service& service, Call& call) {
  auto dir = OwnDir(service, call);
  if (!dir) return;
  std::int64_t expires = NowSeconds() + 7 * kDay;
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string code = NewCode();
    std::int64_t id = service.db().Insert(
        "INSERT OR IGNORE INTO codes(code, dir, owner, name, created, expires) VALUES(?,?,?,?,?,?)",
        {code, dir->id, call.user.id, dir->name, NowSeconds(), expires});
    if (id != 0 && !service.db().Query("SELECT 1 FROM codes WHERE id=? AND code=?", {id, code}).empty()) {
      return ReplyOk(call.res, {{"id", std::to_string(id)}, {"expiretime", FormatDate(expires)}, {"code", code},
                                {"ownerid", std::to_string(call.user.id)}});
    }
  }
  ReplyHttpError(call.res, 500, "cannot make a unique code");
}

void DeleteCodes(Service& service, Call& call) {
  int deleted = 0;
  std::string text = call.form["codeids"];
  for (char& c : text) {
    if (c == ';' || c == ' ') c = ',';
  }
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    auto id = ParseI64(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (id) {
      auto rows = service.db().Query("SELECT 1 FROM codes WHERE id=? AND owner=?", {*id, call.user.id});
      if (!rows.empty() && service.db().Exec("DELETE FROM codes WHERE id=?", {*id})) ++deleted;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (deleted == 0) return ReplyRefusal(call.res, state::kResourceMissing, "Resource does not exist");
  ReplyOk(call.res);
}

void EditCode(Service& service, Call& call) {
  auto id = FormId(call, "codeid");
  auto expires = ParseExpiration(call.form["expiration"]);
  if (!id || !expires) return ReplyRefusal(call.res, state::kBadRequest, "code id or expiration invalid");
  if (service.db().Query("SELECT 1 FROM codes WHERE id=? AND owner=?", {*id, call.user.id}).empty())
    return ReplyRefusal(call.res, state::kResourceMissing, "Resource does not exist");
  service.db().Exec("UPDATE codes SET expires=? WHERE id=?", {*expires, *id});
  ReplyOk(call.res);
}

void MailCode(Service& service, Call& call) {
  const std::string& to = call.form["emailvalue"];
  if (to.empty()) return ReplyRefusal(call.res, 1001, "Please enter your email address");
  Json body{{"code", call.form["code"]}, {"codeid", call.form["codeid"]}, {"content", call.form["content"]}};
  service.db().Exec("INSERT INTO mails(sender, kind, recipients, body, created) VALUES(?,?,?,?,?)",
                    {call.user.id, std::string("accesscode"), to, Dump(body), NowSeconds()});
  ReplyOk(call.res);
}

/// The valid code a visitor's request names: (code id, directory, owner).
std::optional<Row> ValidCode(Service& service, Call& call) {
  auto rows = service.db().Query("SELECT id, dir, owner, expires FROM codes WHERE code=? COLLATE NOCASE",
                                 {call.form["code"]});
  if (rows.empty() || rows[0].Int(3) < NowSeconds()) {
    ReplyRefusal(call.res, state::kBadCode, "This code is invalid");
    return std::nullopt;
  }
  return rows[0];
}

void CodePreUpload(Service& service, Call& call) {
  auto code = ValidCode(service, call);
  if (!code) return;
  auto dir = service.catalog().DirById(code->Int(1));
  if (!dir) return ReplyText(call.res, "-7");
  auto request = ReadUploadRequest(call);
  if (!request) return;
  // The token belongs to the code, whether or not the visitor sent a cookie.
  // A visitor only adds files: override is never granted.
  call.session.codeId = code->Int(0);
  call.session.userId = code->Int(2);
  PrepareUpload(service, call, *dir, *request);
}

void CodeUploadOver(Service& service, Call& call) {
  auto code = ValidCode(service, call);
  if (!code) return;
  auto fileId = FormId(call, "fileid");
  auto transfer = FindTransfer(service, call.form["token"]);
  if (!fileId || !transfer || transfer->codeId != code->Int(0))
    return ReplyRefusal(call.res, state::kBadUpload, "Illegal upload request");
  FinishUpload(service, call, *fileId, transfer->token, transfer->auth);
}

}  // namespace

void AddCodeRoutes(Service& service) {
  auto bind = [&service](void (*fn)(Service&, Call&)) {
    return [&service, fn](Call& call) { fn(service, call); };
  };
  service.Route("GET", R"(/accesscode/listsingle/([^/]*)/TEXT/timedesc)", Access::kAccount, bind(ListCodes));
  service.Route("GET", R"(/accesscode/createcode/([^/]*))", Access::kAccount, bind(CreateCode));
  service.Route("POST", "/accesscode/delete", Access::kAccount, bind(DeleteCodes));
  service.Route("POST", "/accesscode/editcode", Access::kAccount, bind(EditCode));
  service.Route("POST", "/accesscode/sendtoemail", Access::kAccount, bind(MailCode));
  service.Route("POST", "/accesscode/preupload", Access::kPublic, bind(CodePreUpload));
  service.Route("POST", "/accesscode/uploadover", Access::kPublic, bind(CodeUploadOver));
}

}  // namespace korvexd

// Download links of files, their public download path, and mails.
//
// A link's validity number counts days (0: no expiry); an expiry text is a
// date "YYYY-MM-DD[ HH:MM:SS]" and the link expires at its end.
#include "RouteSupport.h"
#include "Transfers.h"

namespace korvexd {
namespace {

constexpr std::int64_t kNever = 0;
constexpr std::int64_t kNotOwnFile = 6003;  // "only on your own file"
constexpr std::int64_t kDay = 24 * 3600;
constexpr std::int64_t kMaxDays = 36500;

/// The expiry a link request asks for, or nullopt after refusing it.
std::optional<std::int64_t> RequestedExpiry(Call& call, std::string& dist) {
  if (call.req.method == "POST") {
    const std::string& text = call.form["overdate"];
    auto date = ParseDate(text);
    if (!date) {
      ReplyRefusal(call.res, state::kBadRequest, "expiry date invalid: " + text);
      return std::nullopt;
    }
    dist = text;
    return text.find(':') == std::string::npos ? *date + kDay - 1 : *date;
  }
  auto days = PathId(call.req, 2);
  if (!days || *days > kMaxDays) {
    ReplyRefusal(call.res, state::kBadRequest, "validity missing or invalid");
    return std::nullopt;
  }
  dist = std::to_string(*days);
  return *days == 0 ? kNever : NowSeconds() + *days * kDay;
}

std::optional<File> OwnFile(Service& service, Call& call) {
  std::uint32_t mask = 0;
  auto file = VisibleFile(service, call, PathId(call.req, 1), mask);
  if (!file) return std::nullopt;
  if (file->owner != call.user.id || file->state != 0) {
    ReplyRefusal(call.res, kNotOwnFile, "You are only allowed to generate an external link on your own file.");
    return std::nullopt;
  }
  return file;
}

void GetCodes(Service& service, Call& call, bool change) {
  auto file = OwnFile(service, call);
  if (!file) return;
  std::string dist;
  auto expires = RequestedExpiry(call, dist);
  if (!expires) return;
  auto rows = service.db().Query("SELECT code FROM links WHERE file_id=?", {file->id});
  std::string code;
  if (!rows.empty()) {
    code = rows[0].Text(0);
    service.db().Exec("UPDATE links SET expires=?, dist=? WHERE file_id=?", {*expires, dist, file->id});
  } else if (change) {
    return ReplyRefusal(call.res, state::kResourceMissing, "Resource does not exist");
  } else {
    code = RandomHex(8);
    service.db().Exec("INSERT INTO links(file_id, owner, code, created, expires, dist) VALUES(?,?,?,?,?,?)",
                      {file->id, call.user.id, code, NowSeconds(), *expires, dist});
  }
  ReplyOk(call.res, {{"url", service.BaseUrl() + "/link/" + code}, {"code", code}});
}

void RemoveCodes(Service& service, Call& call) {
  auto file = OwnFile(service, call);
  if (!file) return;
  if (service.db().Query("SELECT 1 FROM links WHERE file_id=?", {file->id}).empty())
    return ReplyRefusal(call.res, state::kResourceMissing, "Resource does not exist");
  service.db().Exec("DELETE FROM links WHERE file_id=?", {file->id});
  ReplyOk(call.res);
}

/// "overtime" is the number of days left, a started day counting whole ("-1": no expiry).
void LinkDetail(Service& service, Call& call) {
  auto file = OwnFile(service, call);
  if (!file) return;
  auto rows = service.db().Query("SELECT code, expires, dist, used FROM links WHERE file_id=?", {file->id});
  if (rows.empty()) return ReplyRefusal(call.res, state::kResourceMissing, "Resource does not exist");
  std::int64_t expires = rows[0].Int(1);
  std::int64_t left = expires == kNever ? -1 : std::max<std::int64_t>(0, (expires - NowSeconds() + kDay - 1) / kDay);
  ReplyOk(call.res, {{"url", service.BaseUrl() + "/link/" + rows[0].Text(0)},
                     {"dist", rows[0].Text(2)},
                     {"used", rows[0].Text(3)},
                     {"overtime", std::to_string(left)}});
}

void PublicDownload(Service& service, Call& call) {
  auto rows = service.db().Query("SELECT file_id, expires FROM links WHERE code=?", {call.req.matches[1].str()});
  if (rows.empty()) return ReplyHttpError(call.res, 404, "no such link");
  if (rows[0].Int(1) != kNever && rows[0].Int(1) < NowSeconds()) return ReplyHttpError(call.res, 410, "link expired");
  auto file = service.catalog().FileById(rows[0].Int(0));
  std::optional<FileSlice> data;
  if (file) data = SliceAt(service.catalog().BlobPath(file->id), 0, static_cast<std::uint64_t>(file->size));
  if (!data) return ReplyHttpError(call.res, 404, "file not found");
  service.db().Exec("UPDATE links SET used=used+1 WHERE code=?", {call.req.matches[1].str()});
  call.res.SetHeader("Content-Disposition", "attachment; filename=\"" + PercentEncode(file->name) + "\"");
  call.res.SetFile(std::move(*data), "application/octet-stream");
}

void RecordMail(Service& service, Call& call, const std::string& kind, const std::string& recipients,
                const Json& body) {
  if (recipients.empty()) return ReplyRefusal(call.res, 1001, "Please enter your email address");
  service.db().Exec("INSERT INTO mails(sender, kind, recipients, body, created) VALUES(?,?,?,?,?)",
                    {call.user.id, kind, recipients, Dump(body), NowSeconds()});
  ReplyOk(call.res);
}

void SendFile(Service& service, Call& call) {
  std::uint32_t mask = 0;
  auto file = VisibleFile(service, call, FormId(call, "id"), mask);
  if (!file) return;
  RecordMail(service, call, "file", call.form["mailAddress"],
             {{"fileid", std::to_string(file->id)}, {"filename", file->name}, {"content", call.form["content"]}});
}

void SendLink(Service& service, Call& call) {
  RecordMail(service, call, "link", call.form["email"],
             {{"link", call.form["link"]}, {"filename", call.form["filename"]}});
}

}  // namespace

void AddLinkRoutes(Service& service) {
  auto bind = [&service](void (*fn)(Service&, Call&)) {
    return [&service, fn](Call& call) { fn(service, call); };
  };
  service.Route("GET", R"(/file/getcodes/([^/]*)/([^/]*))", Access::kAccount,
                [&service](Call& call) { GetCodes(service, call, false); });
  service.Route("POST", R"(/file/getcodes/([^/]*))", Access::kAccount,
                [&service](Call& call) { GetCodes(service, call, false); });
  service.Route("GET", R"(/file/changecodes/([^/]*)/([^/]*))", Access::kAccount,
                [&service](Call& call) { GetCodes(service, call, true); });
  service.Route("POST", R"(/file/changecodes/([^/]*))", Access::kAccount,
                [&service](Call& call) { GetCodes(service, call, true); });
  service.Route("GET", R"(/file/removecodes/([^/]*))", Access::kAccount, bind(RemoveCodes));
  service.Route("GET", R"(/file/clientlinkdetail/([^/]*))", Access::kAccount, bind(LinkDetail));
  service.Route("GET", R"(/link/([0-9A-F]+))", Access::kPublic, bind(PublicDownload));
  service.Route("POST", "/file/sendtoemail", Access::kAccount, bind(SendFile));
  service.Route("POST", "/file/sendlink", Access::kAccount, bind(SendLink));
}

}  // namespace korvexd

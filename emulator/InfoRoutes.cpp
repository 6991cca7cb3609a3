// Space, previews, user photos, transfer reports, and the update
// description and binary files of the web site.
#include <openssl/evp.h>

#include <fstream>

#include "RouteSupport.h"
#include "Transfers.h"

namespace korvexd {
namespace {

constexpr std::size_t kMaxReport = 64 * 1024;
constexpr std::int64_t kReportsKept = 1000;

bool HasExtension(const std::string& name, std::initializer_list<const char*> extensions) {
  std::string ext = ExtensionOf(name);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* e : extensions) {
    if (ext == e) return true;
  }
  return false;
}

void Space(Service& service, Call& call) {
  ReplyOk(call.res, {{"space", std::to_string(service.catalog().UsedSpace(call.user.id))},
                     {"totalspace", std::to_string(call.user.quota)}});
}

/// Previews are served from the service itself under a download token.
void Preview(Service& service, Call& call, bool video) {
  std::uint32_t mask = 0;
  auto file = VisibleFile(service, call, PathId(call.req, 1), mask);
  if (!file) return;
  bool fits = video ? HasExtension(file->name, {".mp4", ".mkv", ".avi", ".mov", ".wmv", ".flv", ".webm"})
                    : HasExtension(file->name, {".jpg", ".jpeg", ".png", ".gif", ".bmp", ".webp"});
  if (!fits || file->state != 0 || !rights::CanDownload(mask))
    return ReplyRefusal(call.res, state::kBadDownload, "No preview for this file");
  std::string token = NewTransfer(service, file->id, false, call.session);
  ReplyOk(call.res, {{"url", service.BaseUrl() + "/preview/" + std::to_string(file->id) + "?t=" + token}});
}

void PreviewBytes(Service& service, Call& call) {
  auto id = PathId(call.req, 1);
  auto transfer = FindTransfer(service, call.form["t"]);
  if (!id || !transfer || transfer->fileId != *id) return ReplyHttpError(call.res, 403, "invalid token");
  auto file = service.catalog().FileById(*id);
  if (file && !TransferStillValid(service, *transfer, *file))
    return ReplyHttpError(call.res, 403, "token expired or no longer allowed");
  std::optional<FileSlice> data;
  if (file) data = SliceAt(service.catalog().BlobPath(file->id), 0, static_cast<std::uint64_t>(file->size));
  if (!data) return ReplyHttpError(call.res, 404, "file not found");
  bool video = HasExtension(file->name, {".mp4", ".mkv", ".avi", ".mov", ".wmv", ".flv", ".webm"});
  call.res.SetFile(std::move(*data), video ? "video/octet-stream" : "image/octet-stream");
}

/// Every user has the same small picture.
void UserPhoto(Service&, Call& call) {
  static const unsigned char kPng[] = {
      0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
      0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00,
      0x0D, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0x60, 0x60, 0x60, 0xF8, 0x0F, 0x00, 0x01, 0x04, 0x01, 0x00,
      0x5F, 0xE5, 0xC3, 0x4B, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
  call.res.SetContent(std::string(reinterpret_cast<const char*>(kPng), sizeof kPng), "image/png");
}

/// The report's record is not encoded, so the body after "log=" is kept as
/// it came. Only signed-in callers report, and each keeps its latest
/// kReportsKept reports.
void TransferReport(Service& service, Call& call) {
  if (call.session.userId == 0) return ReplyRefusal(call.res, state::kNotLoggedIn, "not logged in");
  std::string log = call.body.rfind("log=", 0) == 0 ? call.body.substr(4) : call.body;
  std::int64_t user = call.session.userId;
  service.db().Transaction([&] {
    return service.db().Exec("INSERT INTO reports(user_id, log, created) VALUES(?,?,?)", {user, log, NowSeconds()}) &&
           // The newest report not kept is counted off the user's index, and
           // it goes with all before it: no set of the kept ones is built
           // and searched for every report.
           service.db().Exec("DELETE FROM reports WHERE user_id=?1 AND id<="
                             "(SELECT id FROM reports WHERE user_id=?1 ORDER BY id DESC LIMIT 1 OFFSET ?2)",
                             {user, kReportsKept});
  });
  ReplyOk(call.res);
}

std::string ReadWhole(const std::filesystem::path& file, bool& ok) {
  std::ifstream in(file, std::ios::binary);
  ok = static_cast<bool>(in);
  return ok ? std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()) : std::string();
}

/// Adds to a description one <sha256 file="NAME"> per published file (every
/// program or module of the folder that UpdateFile serves: one description
/// may stand for several files), before the root's end tag. A description that
/// carries digests already is left as its publisher wrote it.
void AddDigests(const std::filesystem::path& dir, std::string& xml) {
  const std::size_t end = xml.rfind("</");
  if (end == std::string::npos || xml.find("<sha256") != std::string::npos) return;
  std::string digests;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    const std::string file = entry.path().filename().string();
    if (!entry.is_regular_file(error) || !HasExtension(file, {".exe", ".dll", ".bin", ".so"})) continue;
    bool ok = false;
    const std::string data = ReadWhole(entry.path(), ok);
    if (!ok) continue;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex = Hex(digest, length);
    for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    digests += "<sha256 file=\"" + file + "\">" + hex + "</sha256>";
  }
  xml.insert(end, digests);
}

/// Files of --update-dir by their plain names; the query (a cache breaker) is ignored.
void UpdateFile(Service& service, Call& call) {
  const std::filesystem::path& dir = service.options().updateDir;
  std::string name = call.req.matches[1].str();
  if (dir.empty()) return ReplyHttpError(call.res, 404, "no update files are published");
  // Reading and hashing the published files needs no database.
  service.db().Settle();
  bool ok = false;
  std::string data = ReadWhole(dir / name, ok);
  if (!ok) return ReplyHttpError(call.res, 404, "not found: " + name);
  const bool xml = HasExtension(name, {".xml"});
  if (xml && service.options().updateDigests) AddDigests(dir, data);
  call.res.SetContent(std::move(data), xml ? "text/xml; charset=utf-8" : "application/octet-stream");
}

}  // namespace

void AddInfoRoutes(Service& service) {
  auto bind = [&service](void (*fn)(Service&, Call&)) {
    return [&service, fn](Call& call) { fn(service, call); };
  };
  service.Route("GET", "/account/getspace", Access::kAccount, bind(Space));
  service.Route("GET", R"(/file/getpicpreview/([^/]*))", Access::kAccount,
                [&service](Call& call) { Preview(service, call, false); });
  service.Route("GET", R"(/file/getvideopreview/([^/]*))", Access::kAccount,
                [&service](Call& call) { Preview(service, call, true); });
  service.Route("GET", R"(/preview/([^/]*))", Access::kData, bind(PreviewBytes));
  service.Route("GET", R"(/account/getuserphoto(/.*)?)", Access::kPublic, bind(UserPhoto));
  service.Route("POST", "/errorlog.php", Access::kPublic, bind(TransferReport), Body::kRaw, kMaxReport);
  service.Route("GET", R"(/([A-Za-z0-9_-]+\.(?:xml|exe|dll|bin|so)))", Access::kPublic, bind(UpdateFile));
}

}  // namespace korvexd

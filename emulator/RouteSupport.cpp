// Lookups shared by the route families.
#include "RouteSupport.h"

namespace korvexd {

std::optional<std::int64_t> PathId(const Request& req, std::size_t group) {
  if (group >= req.matches.size()) return std::nullopt;
  auto value = ParseU64(req.matches[group].str());
  if (!value || *value > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
  return static_cast<std::int64_t>(*value);
}

std::optional<std::int64_t> FormId(const Call& call, const std::string& key) {
  auto it = call.form.find(key);
  if (it == call.form.end()) return std::nullopt;
  auto value = ParseU64(it->second);
  if (!value || *value > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
  return static_cast<std::int64_t>(*value);
}

std::optional<Dir> VisibleDir(Service& service, Call& call, std::optional<std::int64_t> id,
                              std::uint32_t& mask) {
  if (!id) {
    ReplyRefusal(call.res, state::kBadRequest, "directory id missing or invalid");
    return std::nullopt;
  }
  auto dir = service.catalog().DirById(*id);
  if (!dir) {
    ReplyRefusal(call.res, state::kDirMissing, "The directory does not exist");
    return std::nullopt;
  }
  mask = service.catalog().Rights(call.session.userId, dir->id);
  if (mask == rights::kNone) {
    ReplyRefusal(call.res, state::kNoDirAccess, "No permission to access this directory");
    return std::nullopt;
  }
  return dir;
}

std::optional<File> VisibleFile(Service& service, Call& call, std::optional<std::int64_t> id,
                                std::uint32_t& mask) {
  if (!id) {
    ReplyRefusal(call.res, state::kBadRequest, "file id missing or invalid");
    return std::nullopt;
  }
  auto file = service.catalog().FileById(*id);
  if (!file) {
    ReplyRefusal(call.res, state::kFileMissing, "File is not found");
    return std::nullopt;
  }
  mask = service.catalog().Rights(call.session.userId, file->dir);
  if (mask == rights::kNone) {
    ReplyRefusal(call.res, state::kNoDirAccess, "No permission to access this directory");
    return std::nullopt;
  }
  return file;
}

std::string ExtensionOf(const std::string& name) {
  std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool HasSpace(Service& service, std::int64_t userId, std::int64_t size) {
  auto user = service.catalog().UserById(userId);
  if (!user) return false;
  return size >= 0 && service.catalog().ChargedSpace(userId) + size <= user->quota;
}

}  // namespace korvexd

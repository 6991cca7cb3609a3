// File listing by pages, deletion, renaming, moving and copying.
#include <algorithm>
#include <map>

#include "RouteSupport.h"

namespace korvexd {
namespace {

constexpr std::int64_t kMaxPage = 10000;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

struct Listed {
  File file;
  std::int64_t linkId = 0;
};

/// Orders a directory's files by one of the ten sort keys; an empty or
/// unknown key keeps name order. Ties fall back to the name, then the id,
/// so pages never overlap or skip a file.
void SortListing(std::vector<Listed>& files, const std::string& key) {
  bool desc = key.size() > 4 && key.compare(key.size() - 4, 4, "desc") == 0;
  std::string base = desc ? key.substr(0, key.size() - 4) : key;
  auto primary = [&base](const Listed& a, const Listed& b) -> int {
    auto cmp = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
    if (base == "size") return cmp(a.file.size, b.file.size);
    if (base == "modifytime") return cmp(a.file.mtime, b.file.mtime);
    if (base == "filetype") return cmp(Lower(ExtensionOf(a.file.name)), Lower(ExtensionOf(b.file.name)));
    if (base == "share") return cmp(a.linkId != 0, b.linkId != 0);
    return 0;
  };
  std::stable_sort(files.begin(), files.end(), [&](const Listed& a, const Listed& b) {
    int c = primary(a, b);
    if (c != 0) return desc ? c > 0 : c < 0;
    std::string an = Lower(a.file.name), bn = Lower(b.file.name);
    if (an != bn) return (base == "title" && desc) ? an > bn : an < bn;
    return a.file.id < b.file.id;
  });
}

Json FileEntry(const Listed& entry) {
  const File& f = entry.file;
  Json item{{"fileid", std::to_string(f.id)},
            {"name", f.name},
            {"size", std::to_string(f.size)},
            {"modifytime", FormatDate(f.mtime)},
            {"time", FormatDate(f.ctime)},
            {"state", std::to_string(f.state)},
            {"sec", std::to_string(f.sec)}};
  if (entry.linkId != 0) item["linkid"] = std::to_string(entry.linkId);
  return item;
}

/// The SQL order of a sort key that the indexes serve, matching
/// SortListing; empty for the keys that only SortListing knows.
std::string SqlOrder(const std::string& key) {
  bool desc = key.size() > 4 && key.compare(key.size() - 4, 4, "desc") == 0;
  std::string base = desc ? key.substr(0, key.size() - 4) : key;
  if (base == "filetype" || base == "share") return {};
  const std::string byName = "name COLLATE NOCASE, id";
  if (base == "size") return std::string("size") + (desc ? " DESC, " : ", ") + byName;
  if (base == "modifytime") return std::string("mtime") + (desc ? " DESC, " : ", ") + byName;
  if (base == "title" && desc) return "name COLLATE NOCASE DESC, id";
  return byName;
}

void ListRandom(Service& service, Call& call) {
  std::uint32_t mask = 0;
  auto dir = VisibleDir(service, call, PathId(call.req, 1), mask);
  if (!dir) return;
  auto start = PathId(call.req, 3);
  auto count = PathId(call.req, 4);
  if (!start || !count) return ReplyRefusal(call.res, state::kBadRequest, "bad paging numbers");
  const std::string key = call.req.matches[2].str();
  const std::string order = SqlOrder(key);
  std::vector<Listed> files;
  std::int64_t total = 0;
  // A page in name, size or date order is read straight off the folder's
  // index; the rarer orders still sort the whole folder.
  service.db().ReadTogether([&] {
    total = service.catalog().CountFilesIn(dir->id);
    const std::int64_t first = std::min(*start, total);
    const std::int64_t wanted = std::min({*count, kMaxPage, total - first});
    if (!order.empty()) {
      for (auto& [file, link] : service.catalog().FilePage(dir->id, order, first, wanted))
        files.push_back(Listed{std::move(file), link});
      return;
    }
    std::map<std::int64_t, std::int64_t> links;
    for (const Row& r : service.db().Query(
             "SELECT l.file_id, l.id FROM links l JOIN files f ON f.id=l.file_id WHERE f.dir=?", {dir->id}))
      links[r.Int(0)] = r.Int(1);
    for (File& f : service.catalog().FilesIn(dir->id)) {
      auto link = links.find(f.id);
      files.push_back(Listed{std::move(f), link == links.end() ? 0 : link->second});
    }
    SortListing(files, key);
    // The count was taken in the same read, so the page lies within the folder.
    files.erase(files.begin(), files.begin() + first);
    files.resize(static_cast<std::size_t>(wanted));
  });
  Json list = Json::array();
  for (const Listed& entry : files) list.push_back(FileEntry(entry));
  ReplyOk(call.res, {{"list", list}, {"total", std::to_string(total)}});
}

/// A file the caller may change. A partial upload may also be removed by
/// whoever may upload there, so that a cancelled upload can clean up.
std::optional<File> ModifiableFile(Service& service, Call& call) {
  std::uint32_t mask = 0;
  auto file = VisibleFile(service, call, FormId(call, "fileid"), mask);
  if (!file) return std::nullopt;
  bool allowed = rights::CanModify(mask) || (file->state == 1 && rights::CanUpload(mask));
  if (!allowed) {
    ReplyRefusal(call.res, state::kNoDirAccess, "No permission to access this directory");
    return std::nullopt;
  }
  return file;
}

void DeleteFile(Service& service, Call& call) {
  auto file = ModifiableFile(service, call);
  if (!file) return;
  service.streams().DropFile(file->id);
  service.catalog().DeleteFile(file->id);
  ReplyOk(call.res);
}

void RenameFile(Service& service, Call& call) {
  auto file = ModifiableFile(service, call);
  if (!file) return;
  const std::string& name = call.form["filename"];
  if (!IsValidName(name)) return ReplyRefusal(call.res, state::kBadName, "The file name is not valid");
  auto clash = service.catalog().CompleteFileByName(file->dir, name);
  if (clash && clash->id != file->id)
    return ReplyRefusal(call.res, state::kFileExists, "Filename already exists, please enter another one");
  service.db().Exec("UPDATE files SET name=? WHERE id=?", {name, file->id});
  ReplyOk(call.res);
}

/// Move and copy share their checks; copy only needs the download right on
/// the source, move needs full rights there.
void MoveOrCopy(Service& service, Call& call, bool copy) {
  std::uint32_t sourceMask = 0;
  auto file = VisibleFile(service, call, FormId(call, "fileid"), sourceMask);
  if (!file) return;
  if (copy ? !rights::CanDownload(sourceMask) : !rights::CanModify(sourceMask))
    return ReplyRefusal(call.res, state::kNoDirAccess, "No permission to access this directory");
  if (file->state != 0) return ReplyRefusal(call.res, state::kFileMissing, "The file is still being uploaded");
  std::uint32_t targetMask = 0;
  auto target = VisibleDir(service, call, FormId(call, "targetid"), targetMask);
  if (!target) return;
  if (target->isVirtual || !rights::CanUpload(targetMask))
    return ReplyRefusal(call.res, state::kNoCreateFileRight, "No permission to create a new file");
  bool override = call.form["override"] == "1";
  if (!copy && target->id == file->dir)
    return ReplyRefusal(call.res, state::kSameDirectory, "Move to the same directory");
  auto clash = service.catalog().CompleteFileByName(target->id, file->name);
  if (clash && !override)
    return ReplyRefusal(call.res, state::kFileExists, "Filename already exists, please enter another one");
  if (clash && clash->id == file->id) return ReplyOk(call.res);  // copy onto itself
  // Replacing a file deletes it, so it needs the right to delete.
  if (clash && !rights::CanModify(targetMask))
    return ReplyRefusal(call.res, state::kFileExists, "Filename already exists, please enter another one");
  // A move into another owner's directory charges that owner as a copy does.
  bool charged = copy || target->owner != file->owner;
  if (charged && !HasSpace(service, target->owner, std::max<std::int64_t>(0, file->size - (clash ? clash->size : 0))))
    return ReplyRefusal(call.res, state::kNoSpace, "Not enough space");
  // The new file is in place before the old one of the same name goes, so a
  // failure never loses both.
  std::int64_t id = file->id;
  if (copy) {
    id = service.catalog().CopyFile(*file, target->id, target->owner);
    if (id == 0) return ReplyHttpError(call.res, 500, "copy failed");
  } else {
    service.db().Exec("UPDATE files SET dir=?, owner=? WHERE id=?", {target->id, target->owner, file->id});
  }
  if (clash) {
    service.streams().DropFile(clash->id);
    service.catalog().DeleteFile(clash->id);
  }
  ReplyOk(call.res, {{"fileid", std::to_string(id)}});
}

}  // namespace

void AddFileRoutes(Service& service) {
  service.Route("GET", R"(/file/listrandom/([^/]*)/LOGO/([a-z]*)/([^/]*)/([^/]*))", Access::kAccount,
                [&service](Call& call) { ListRandom(service, call); });
  service.Route("POST", "/file/delete", Access::kAccount, [&service](Call& call) { DeleteFile(service, call); });
  service.Route("POST", "/file/rename", Access::kAccount, [&service](Call& call) { RenameFile(service, call); });
  service.Route("POST", "/file/move", Access::kAccount, [&service](Call& call) { MoveOrCopy(service, call, false); });
  service.Route("POST", "/file/copy", Access::kAccount, [&service](Call& call) { MoveOrCopy(service, call, true); });
}

}  // namespace korvexd

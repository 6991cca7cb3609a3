// Directory listing, creation, deletion, renaming, moving and file counts.
#include "RouteSupport.h"

namespace korvexd {
namespace {

Json DirEntry(const std::string& id, const std::string& name, bool shared, std::uint32_t mask,
              const std::string& owner) {
  return Json{{"dirid", id},
              {"dirname", name},
              {"isshare", shared ? "1" : "0"},
              {"privilege", std::to_string(mask)},
              {"ownername", owner}};
}

/// The "shared with me" root lists the directories others share with the user.
Json SharedWithMe(Service& service, std::int64_t userId) {
  Json list = Json::array();
  auto rows = service.db().Query(
      "SELECT s.dir, s.privilege, u.name, d.name FROM shares s JOIN users u ON u.id=s.owner "
      "JOIN dirs d ON d.id=s.dir WHERE s.user_id=? ORDER BY d.name, s.dir",
      {userId});
  for (const Row& r : rows)
    list.push_back(DirEntry(r.Text(0), r.Text(3), true, static_cast<std::uint32_t>(r.Int(1)), r.Text(2)));
  return list;
}

void ListAndCount(Service& service, Call& call) {
  std::uint32_t mask = 0;
  auto dir = VisibleDir(service, call, PathId(call.req, 1), mask);
  if (!dir) return;
  if (dir->isVirtual) return ReplyOk(call.res, {{"list", SharedWithMe(service, dir->owner)}, {"files", 0}});
  Json list = Json::array();
  for (const Dir& sub : service.catalog().SubDirs(dir->id)) {
    list.push_back(DirEntry(std::to_string(sub.id), sub.name, service.catalog().IsShared(sub.id),
                            mask, ""));
  }
  ReplyOk(call.res, {{"list", list}, {"files", service.catalog().CountFilesIn(dir->id)}});
}

/// Shared by /directory/create and /directory/uploaddir: both create a
/// directory, the second for sub-accounts that hold only the upload right.
void CreateDir(Service& service, Call& call) {
  std::uint32_t mask = 0;
  auto parent = VisibleDir(service, call, FormId(call, "parentid"), mask);
  if (!parent) return;
  const std::string& name = call.form["dirname"];
  if (name.empty()) return ReplyRefusal(call.res, state::kDirNameMissing, "Please enter new directory name");
  if (!IsValidName(name)) return ReplyRefusal(call.res, state::kBadName, "The file name is not valid");
  if (parent->isVirtual || !rights::CanUpload(mask))
    return ReplyRefusal(call.res, state::kNoCreateDirRight, "No permissions to create directory");
  // Parallel transfers create the same directories; the check and the
  // insert form one transaction so that only one of them makes it.
  std::int64_t existing = 0, id = 0;
  service.db().Transaction([&] {
    if (auto dir = service.catalog().DirByName(parent->id, name)) {
      existing = dir->id;
    } else {
      id = service.catalog().CreateDir(parent->owner, parent->id, name);
    }
    return true;
  });
  if (existing != 0) {
    return ReplyRefusal(call.res, state::kDirExists, "The same directory name already exists",
                        {{"id", std::to_string(existing)}});
  }
  if (id == 0) return ReplyHttpError(call.res, 500, "database failure");
  ReplyOk(call.res, {{"id", std::to_string(id)}, {"dirid", std::to_string(id)}, {"dirname", name}});
}

/// A directory the caller may delete, rename or move: not a root, not the
/// top of a share that somebody else owns, and held with full rights.
std::optional<Dir> ModifiableDir(Service& service, Call& call) {
  std::uint32_t mask = 0;
  auto dir = VisibleDir(service, call, FormId(call, "dirid"), mask);
  if (!dir) return std::nullopt;
  bool shareTop = dir->owner != call.session.userId &&
                  service.catalog().ShareRootFor(call.session.userId, dir->id) == dir->id;
  if (dir->parent == 0 || shareTop || !rights::CanModify(mask)) {
    ReplyRefusal(call.res, state::kNoDirAccess, "No permission to access this directory");
    return std::nullopt;
  }
  return dir;
}

void DeleteDir(Service& service, Call& call) {
  auto dir = ModifiableDir(service, call);
  if (!dir) return;
  service.db().Transaction([&] {
    service.catalog().DeleteDirTree(dir->id);
    return true;
  });
  ReplyOk(call.res);
}

void RenameDir(Service& service, Call& call) {
  auto dir = ModifiableDir(service, call);
  if (!dir) return;
  const std::string& name = call.form["dirname"];
  if (name.empty()) return ReplyRefusal(call.res, state::kDirNameMissing, "Please enter new directory name");
  if (!IsValidName(name)) return ReplyRefusal(call.res, state::kBadName, "The file name is not valid");
  auto clash = service.catalog().DirByName(dir->parent, name);
  if (clash && clash->id != dir->id)
    return ReplyRefusal(call.res, state::kDirExists, "The same directory name already exists");
  service.db().Exec("UPDATE dirs SET name=? WHERE id=?", {name, dir->id});
  ReplyOk(call.res);
}

void MoveDir(Service& service, Call& call) {
  auto dir = ModifiableDir(service, call);
  if (!dir) return;
  std::uint32_t targetMask = 0;
  auto target = VisibleDir(service, call, FormId(call, "targetid"), targetMask);
  if (!target) return;
  if (target->isVirtual || !rights::CanUpload(targetMask))
    return ReplyRefusal(call.res, state::kNoCreateDirRight, "No permissions to create directory");
  if (target->owner != dir->owner)
    return ReplyRefusal(call.res, state::kNoDirAccess, "Directories move only within one owner's disk");
  if (service.catalog().IsWithin(target->id, dir->id))
    return ReplyRefusal(call.res, state::kTargetDirMissing, "Cannot move a directory into itself");
  if (target->id == dir->parent) return ReplyRefusal(call.res, state::kSameDirectory, "Move to the same directory");
  if (service.catalog().DirByName(target->id, dir->name))
    return ReplyRefusal(call.res, state::kDirExists, "The same directory name already exists");
  service.db().Exec("UPDATE dirs SET parent=? WHERE id=?", {target->id, dir->id});
  ReplyOk(call.res);
}

void CountFiles(Service& service, Call& call) {
  std::uint32_t mask = 0;
  auto dir = VisibleDir(service, call, PathId(call.req, 1), mask);
  if (!dir) return;
  ReplyOk(call.res, {{"total", service.catalog().CountFilesBelow(dir->id)}});
}

}  // namespace

void AddDirectoryRoutes(Service& service) {
  auto bind = [&service](void (*fn)(Service&, Call&)) {
    return [&service, fn](Call& call) { fn(service, call); };
  };
  service.Route("GET", R"(/directory/listandcount/([^/]*))", Access::kAccount, bind(ListAndCount));
  service.Route("POST", "/directory/create", Access::kAccount, bind(CreateDir));
  service.Route("POST", "/directory/uploaddir", Access::kAccount, bind(CreateDir));
  service.Route("POST", "/directory/delete", Access::kAccount, bind(DeleteDir));
  service.Route("POST", "/directory/rename", Access::kAccount, bind(RenameDir));
  service.Route("POST", "/directory/move", Access::kAccount, bind(MoveDir));
  service.Route("GET", R"(/directory/countfiles/([^/]*))", Access::kAccount, bind(CountFiles));
}

}  // namespace korvexd

// Sharing directories with users, the users of a share, and contacts.
//
// Paging of the two listings: the first number is the page (from 1; 0 reads
// as 1), the second the page size (0 means everything on one page);
// "pagesum" is the number of pages, at least 1.
#include "RouteSupport.h"

namespace korvexd {
namespace {

constexpr std::int64_t kNoSuchUser = 1212;

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::string current;
  for (char c : text + ",") {
    if (c == ',' || c == ';') {
      std::size_t a = current.find_first_not_of(' '), b = current.find_last_not_of(' ');
      if (a != std::string::npos) items.push_back(current.substr(a, b - a + 1));
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  return items;
}

/// A directory the caller owns and may share: not a root.
std::optional<Dir> OwnedDir(Service& service, Call& call) {
  std::uint32_t mask = 0;
  auto dir = VisibleDir(service, call, FormId(call, "dirid"), mask);
  if (!dir) return std::nullopt;
  if (dir->owner != call.user.id || dir->parent == 0) {
    ReplyRefusal(call.res, state::kNoDirAccess, "Only the owner shares a directory");
    return std::nullopt;
  }
  return dir;
}

/// The users a share request names, all or nothing.
std::optional<std::vector<User>> NamedUsers(Service& service, Call& call) {
  std::vector<User> users;
  for (const std::string& name : SplitList(call.form["userid"])) {
    std::size_t at = name.rfind('@');
    auto user = at == std::string::npos ? service.catalog().FindUser(name, call.user.domain)
                                        : service.catalog().FindUser(name.substr(0, at), name.substr(at + 1));
    if (!user) {
      ReplyRefusal(call.res, kNoSuchUser, "User does not exist: " + name);
      return std::nullopt;
    }
    if (user->id == call.user.id) {
      ReplyRefusal(call.res, state::kSelfShare, "You can not add yourself as a share-user");
      return std::nullopt;
    }
    users.push_back(*user);
  }
  if (users.empty()) {
    ReplyRefusal(call.res, state::kBadRequest, "no user named");
    return std::nullopt;
  }
  return users;
}

void AddShare(Service& service, Call& call) {
  auto dir = OwnedDir(service, call);
  if (!dir) return;
  auto privilege = ParseU64(call.form["privilege"]);
  if (!privilege || *privilege == 0 || *privilege > 0xFFFF)
    return ReplyRefusal(call.res, state::kBadRequest, "privilege missing or invalid");
  auto users = NamedUsers(service, call);
  if (!users) return;
  service.db().Transaction([&] {
    for (const User& u : *users) {
      service.db().Exec(
          "INSERT INTO shares(dir, owner, user_id, privilege, created) VALUES(?,?,?,?,?) "
          "ON CONFLICT(dir, user_id) DO UPDATE SET privilege=excluded.privilege",
          {dir->id, call.user.id, u.id, static_cast<std::int64_t>(*privilege), NowSeconds()});
    }
    return true;
  });
  ReplyOk(call.res);
}

void Unshare(Service& service, Call& call) {
  auto dir = OwnedDir(service, call);
  if (!dir) return;
  auto users = NamedUsers(service, call);
  if (!users) return;
  for (const User& u : *users) service.db().Exec("DELETE FROM shares WHERE dir=? AND user_id=?", {dir->id, u.id});
  ReplyOk(call.res);
}

/// The owner withdraws every share of the directory; a recipient gives up
/// their own.
void CancelShare(Service& service, Call& call) {
  std::uint32_t mask = 0;
  auto dir = VisibleDir(service, call, FormId(call, "dirid"), mask);
  if (!dir) return;
  if (dir->owner == call.user.id) {
    service.db().Exec("DELETE FROM shares WHERE dir=?", {dir->id});
    return ReplyOk(call.res);
  }
  if (service.catalog().ShareRootFor(call.user.id, dir->id) != dir->id)
    return ReplyRefusal(call.res, state::kNoDirAccess, "No permission to access this directory");
  service.db().Exec("DELETE FROM shares WHERE dir=? AND user_id=?", {dir->id, call.user.id});
  ReplyOk(call.res);
}

/// Cuts one page out of a listing; returns the page count.
std::int64_t Page(Json& list, std::int64_t page, std::int64_t size) {
  if (size <= 0) return 1;
  std::int64_t total = static_cast<std::int64_t>(list.size());
  std::int64_t pages = total == 0 ? 1 : 1 + (total - 1) / size;
  std::int64_t index = std::max<std::int64_t>(page, 1) - 1;
  if (index >= pages) {
    list = Json::array();
    return pages;
  }
  std::int64_t first = index * size;
  Json cut = Json::array();
  for (std::int64_t i = first; i < std::min(total, first + size); ++i) cut.push_back(list[i]);
  list = std::move(cut);
  return pages;
}

void DirAccess(Service& service, Call& call) {
  std::uint32_t mask = 0;
  auto dir = VisibleDir(service, call, PathId(call.req, 1), mask);
  if (!dir) return;
  Json list = Json::array();
  for (const Row& r : service.db().Query(
           "SELECT s.id, u.id, u.name, s.privilege, u.domain, s.created FROM shares s JOIN users u ON u.id=s.user_id "
           "WHERE s.dir=? ORDER BY s.created DESC, s.id DESC",
           {dir->id})) {
    list.push_back({{"id", r.Text(0)}, {"uid", r.Text(1)}, {"dirid", std::to_string(dir->id)},
                    {"uname", r.Text(2)}, {"directoryname", dir->name}, {"privilege", r.Text(3)},
                    {"domain", r.Text(4)}, {"isrevert", "0"}, {"sharetime", FormatDate(r.Int(5))}});
  }
  std::int64_t pages = Page(list, PathId(call.req, 2).value_or(1), PathId(call.req, 3).value_or(0));
  ReplyOk(call.res, {{"pagesum", pages}, {"list", list}});
}

void Contacts(Service& service, Call& call) {
  Json list = Json::array();
  for (const User& u : service.catalog().UsersInDomain(call.user.domain)) {
    if (u.id == call.user.id) continue;
    list.push_back({{"userid", std::to_string(u.id)}, {"name", u.name}, {"email", u.email}, {"msn", ""},
                    {"domain", u.domain}, {"photo", "/account/getuserphoto/" + std::to_string(u.id)},
                    {"jointime", FormatDate(u.joined)}});
  }
  std::int64_t pages = Page(list, PathId(call.req, 1).value_or(1), PathId(call.req, 2).value_or(0));
  ReplyOk(call.res, {{"pagesum", pages}, {"list", list}});
}

}  // namespace

void AddShareRoutes(Service& service) {
  auto bind = [&service](void (*fn)(Service&, Call&)) {
    return [&service, fn](Call& call) { fn(service, call); };
  };
  service.Route("POST", "/share/addsharedir", Access::kAccount, bind(AddShare));
  service.Route("POST", "/share/editsharedir", Access::kAccount, bind(AddShare));
  service.Route("POST", "/share/unsharedir", Access::kAccount, bind(Unshare));
  service.Route("POST", "/share/cancelsharedir", Access::kAccount, bind(CancelShare));
  service.Route("POST", "/share/removeshare", Access::kAccount, bind(CancelShare));
  service.Route("POST", R"(/share/diraccess/([^/]*)/LOGO/timedesc/([^/]*)/([^/]*))", Access::kAccount, bind(DirAccess));
  service.Route("POST", R"(/contact/list/LOGO/timedesc/([^/]*)/([^/]*))", Access::kAccount, bind(Contacts));
}

}  // namespace korvexd

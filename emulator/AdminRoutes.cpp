// Loopback-only endpoints for tests: fault injection and inspection.
//
//   POST /admin/faults        body: one fault text (see Faults.h)
//   POST /admin/faults/clear
//   GET  /admin/faults
//   GET  /admin/tree/USER[?domain=D]   the user's tree with sizes and MD5s
//   GET  /admin/mails                  the mails the service "sent"
//   GET  /admin/reports                the transfer reports received
#include "RouteSupport.h"

namespace korvexd {
namespace {

constexpr int kMaxTreeDepth = 64;

Json Tree(Catalog& catalog, const Dir& dir, int depth) {
  Json node{{"id", dir.id}, {"name", dir.name}, {"dirs", Json::array()}, {"files", Json::array()}};
  for (const File& f : catalog.FilesIn(dir.id)) {
    node["files"].push_back(
        {{"id", f.id}, {"name", f.name}, {"size", f.size}, {"md5", f.md5}, {"complete", f.state == 0}});
  }
  if (depth < kMaxTreeDepth) {
    for (const Dir& sub : catalog.SubDirs(dir.id)) node["dirs"].push_back(Tree(catalog, sub, depth + 1));
  }
  return node;
}

void AddFault(Service& service, Call& call) {
  std::string error;
  if (!service.faults().Add(call.body, error)) return ReplyHttpError(call.res, 400, error);
  ReplyOk(call.res, {{"faults", service.faults().List()}});
}

void UserTree(Service& service, Call& call) {
  std::string domain = call.form.count("domain") ? call.form["domain"] : "demo";
  auto user = service.catalog().FindUser(call.req.matches[1].str(), domain);
  if (!user) return ReplyHttpError(call.res, 404, "no such user");
  auto root = service.catalog().DirById(user->rootDir);
  if (!root) return ReplyHttpError(call.res, 500, "user without root");
  ReplyOk(call.res, {{"user", user->name}, {"domain", user->domain}, {"tree", Tree(service.catalog(), *root, 0)}});
}

void Mails(Service& service, Call& call) {
  Json list = Json::array();
  for (const Row& r : service.db().Query(
           "SELECT m.id, u.name, m.kind, m.recipients, m.body, m.created FROM mails m "
           "LEFT JOIN users u ON u.id=m.sender ORDER BY m.id")) {
    list.push_back({{"id", r.Int(0)}, {"sender", r.Text(1)}, {"kind", r.Text(2)}, {"to", r.Text(3)},
                    {"body", Json::parse(r.Text(4), nullptr, false)}, {"time", FormatDate(r.Int(5))}});
  }
  ReplyOk(call.res, {{"list", list}});
}

void Reports(Service& service, Call& call) {
  Json list = Json::array();
  for (const Row& r : service.db().Query(
           "SELECT r.id, COALESCE(u.name, ''), r.log, r.created FROM reports r LEFT JOIN users u ON u.id=r.user_id "
           "ORDER BY r.id")) {
    list.push_back({{"id", r.Int(0)}, {"user", r.Text(1)}, {"log", r.Text(2)}, {"time", FormatDate(r.Int(3))}});
  }
  ReplyOk(call.res, {{"list", list}});
}

}  // namespace

void AddAdminRoutes(Service& service) {
  auto bind = [&service](void (*fn)(Service&, Call&)) {
    return [&service, fn](Call& call) { fn(service, call); };
  };
  service.Route("POST", "/admin/faults", Access::kAdmin, bind(AddFault), Body::kRaw);
  service.Route("POST", "/admin/faults/clear", Access::kAdmin, [&service](Call& call) {
    service.faults().Clear();
    ReplyOk(call.res);
  });
  service.Route("GET", "/admin/faults", Access::kAdmin,
                [&service](Call& call) { ReplyOk(call.res, {{"faults", service.faults().List()}}); });
  service.Route("GET", R"(/admin/tree/([^/]+))", Access::kAdmin, bind(UserTree));
  // The service ends every session at once, as a restart of the real one
  // would; clients learn it at their next request that needs one.
  service.Route("POST", "/admin/sessions/end", Access::kAdmin, [&service](Call& call) {
    service.db().Exec("DELETE FROM sessions");
    ReplyOk(call.res);
  });
  service.Route("GET", "/admin/mails", Access::kAdmin, bind(Mails));
  service.Route("GET", "/admin/reports", Access::kAdmin, bind(Reports));
}

}  // namespace korvexd

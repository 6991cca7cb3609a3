// korvexd's HTTP front.
#include "Service.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "Transfers.h"

namespace korvexd {
namespace {

constexpr std::size_t kWorkerThreads = 128;  // well above 64 clients, while routes block on the database
constexpr std::int64_t kStreamIdleSeconds = 3600;

bool IsLoopback(const std::string& address) {
  return address == "127.0.0.1" || address == "::1" || address.rfind("127.", 0) == 0 ||
         address == "::ffff:127.0.0.1";
}

}  // namespace

Service::Service(Options options)
    : options_(std::move(options)), server_(std::make_unique<HttpServer>(router_, kWorkerThreads)) {}
Service::~Service() = default;

bool Service::Init(std::string& error) {
  for (const std::string& spec : options_.faults) {
    if (!faults_.Add(spec, error)) {
      error = "--fault " + spec + ": " + error;
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::create_directories(options_.dataDir / "blobs", ec);
  if (ec) {
    error = "cannot create data folder " + options_.dataDir.string() + ": " + ec.message();
    return false;
  }
  if (!db_.Open((options_.dataDir / "korvexd.sqlite").string(), error)) return false;
  catalog_ = std::make_unique<Catalog>(db_, options_.dataDir / "blobs");
  streams_.Attach(db_);
  if (options_.seedDemo && !SeedDemo(*catalog_, error)) return false;
  return true;
}

std::optional<Session> Service::FindSession(const std::string& auth) {
  if (auth.empty()) return std::nullopt;
  auto rows = db_.Query("SELECT user_id, code_id, created FROM sessions WHERE auth=?", {auth});
  if (rows.empty()) return std::nullopt;
  std::int64_t now = NowSeconds(), idle = now - rows[0].Int(2);
  if (idle > options_.sessionIdleSeconds) {
    db_.Exec("DELETE FROM sessions WHERE auth=?", {auth});
    return std::nullopt;
  }
  // One write a minute per session is enough to keep it alive.
  if (idle >= std::min<std::int64_t>(60, options_.sessionIdleSeconds / 4))
    db_.Exec("UPDATE sessions SET created=? WHERE auth=?", {now, auth});
  return Session{auth, rows[0].Int(0), rows[0].Int(1)};
}

std::string Service::BaseUrl() const {
  if (!options_.publicUrl.empty()) return options_.publicUrl;
  std::string host = options_.host.find(':') != std::string::npos ? "[" + options_.host + "]" : options_.host;
  return (options_.tlsCert.empty() ? "http://" : "https://") + host + ":" + std::to_string(options_.port);
}

void Service::SweepWhenDue() {
  std::int64_t now = NowSeconds(), due = nextSweep_.load();
  std::int64_t shortest = std::min(options_.sessionIdleSeconds, options_.tokenSeconds);
  // Whichever request wins the exchange sweeps; the others go on at once.
  if (now < due || !nextSweep_.compare_exchange_strong(due, now + std::clamp<std::int64_t>(shortest / 2, 1, 60)))
    return;
  FlushReceived(*this);
  db_.Exec("DELETE FROM sessions WHERE created<?", {now - options_.sessionIdleSeconds});
  db_.Exec("DELETE FROM transfers WHERE created<?", {now - options_.tokenSeconds});
  // An upload outlived by its token can no longer receive a byte: it is
  // abandoned, and the space it held goes back to its owner.
  for (const Row& r : db_.Query("SELECT id FROM files WHERE state=1 AND ctime<?", {now - options_.tokenSeconds})) {
    streams_.DropFile(r.Int(0));
    catalog_->DeleteFile(r.Int(0));
  }
  streams_.Expire(now - options_.tokenSeconds, std::min(kStreamIdleSeconds, options_.tokenSeconds));
}

void Service::Route(const std::string& method, const std::string& pattern, Access access,
                    Handler handler, Body bodyKind, std::size_t maxBody) {
  router_.Add(method, pattern, maxBody,
              [this, access, handler = std::move(handler), bodyKind](Request& req, Response& res) {
                Dispatch(req, res, access, handler, bodyKind, std::move(req.body));
              });
}

void Service::RouteUpload(const std::string& method, const std::string& pattern, Handler handler,
                          Router::Placer placer) {
  router_.Add(method, pattern, kMaxBody,
              [this, handler = std::move(handler)](Request& req, Response& res) {
                Dispatch(req, res, Access::kData, handler, Body::kRaw, std::move(req.body));
              },
              std::move(placer));
}

bool Service::ApplyBeforeFaults(const Request& req, Response& res) {
  for (const Fault& fault : faults_.Take(req.path, FaultPhase::kBefore)) {
    switch (fault.kind) {
      case FaultKind::kDelay:
        std::this_thread::sleep_for(std::chrono::milliseconds(fault.value));
        break;
      case FaultKind::kHttp:
        ReplyHttpError(res, static_cast<int>(fault.value), "injected failure");
        return true;
      case FaultKind::kStream:
        ReplyRefusal(res, 0, "injected stream failure");
        res.SetHeader("x-korvexws-idt-status", "code=" + std::to_string(fault.value));
        return true;
      default:
        break;
    }
  }
  return false;
}

void Service::ApplyAfterFaults(const Request& req, Response& res) {
  for (const Fault& fault : faults_.Take(req.path, FaultPhase::kAfter)) {
    if (fault.kind == FaultKind::kBadMd5) {
      Json body = Json::parse(res.body, nullptr, false);
      for (const char* key : {"stream_md5", "md5sum"}) {
        if (body.is_object() && body.contains(key)) body[key] = "00000000000000000000000000000000";
      }
      if (!body.is_discarded()) res.body = Dump(body);
      continue;
    }
    std::uint64_t size = res.BodySize();
    std::uint64_t keep = fault.value >= 0 ? static_cast<std::uint64_t>(fault.value) : size / 2;
    keep = std::min(keep, size);
    if (fault.kind == FaultKind::kCut) {
      if (res.file) {
        res.file->length = keep;
      } else {
        res.body.resize(keep);
      }
    } else if (fault.kind == FaultKind::kClose) {
      res.sendOnly = keep;  // the whole length is announced, then the connection drops
    }
  }
}

void Service::Dispatch(const Request& req, Response& res, Access access, const Handler& handler, Body bodyKind,
                       std::string body) {
  if (access == Access::kAdmin && !IsLoopback(req.remoteAddress)) {
    ReplyHttpError(res, 403, "admin endpoint is loopback only");
    return;
  }
  // Faults never touch the admin endpoint, which must stay able to clear them.
  bool faulty = access != Access::kAdmin;
  if (faulty && ApplyBeforeFaults(req, res)) return;
  // What the request changes is committed before its answer goes out, and
  // an injected fault then changes only the answer.
  {
    Database::Scope scope(db_);
    if (!Handle(req, res, access, handler, bodyKind, std::move(body))) return;
  }
  if (faulty) ApplyAfterFaults(req, res);
}

bool Service::Handle(const Request& req, Response& res, Access access, const Handler& handler, Body bodyKind,
                     std::string body) {
  SweepWhenDue();
  Call call{req, res, std::move(body), {}, {}, {}};
  if (bodyKind == Body::kForm) call.form = ParseForm(call.body);
  for (const auto& [key, value] : req.params) call.form.emplace(key, value);
  if (access == Access::kAccount) {
    auto session = FindSession(RequestCookie(req, "AUTH_PRO"));
    std::optional<User> user;
    if (session && session->codeId == 0) user = catalog_->UserById(session->userId);
    if (!user) {
      ReplyRefusal(res, state::kNotLoggedIn, "not logged in");
      return false;
    }
    call.session = *session;
    call.user = *user;
  } else if (access == Access::kPublic) {
    if (auto session = FindSession(RequestCookie(req, "AUTH_PRO"))) call.session = *session;
  }
  try {
    handler(call);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korvexd: %s %s failed: %s\n", req.method.c_str(), req.path.c_str(), e.what());
    ReplyHttpError(res, 500, "internal error");
    return false;
  }
  return true;
}

int Service::Serve() {
  std::string error;
  if (!options_.tlsCert.empty() && !server_->UseTls(options_.tlsCert, options_.tlsKey, error)) {
    std::fprintf(stderr, "korvexd: cannot load the TLS certificate or key\n");
    return 1;
  }
  if (options_.logRequests) {
    // Session values and tokens are secrets: queries stay out, and so does
    // the tail of an upload path, which carries them.
    server_->SetLogger([](const Request& req, const Response& res) {
      std::string path = req.path.substr(0, req.path.find("/a="));
      std::fprintf(stderr, "korvexd: %s %s %d %llu\n", req.method.c_str(), path.c_str(), res.status,
                   static_cast<unsigned long long>(res.BodySize()));
    });
  }
  // The router tries the patterns in this order, so the data paths, which
  // carry most requests, come first.
  AddStreamRoutes(*this);
  AddBlockRoutes(*this);
  AddAuthRoutes(*this);
  AddDirectoryRoutes(*this);
  AddFileRoutes(*this);
  AddShareRoutes(*this);
  AddLinkRoutes(*this);
  AddCodeRoutes(*this);
  AddInfoRoutes(*this);
  AddAdminRoutes(*this);

  int port = server_->Listen(options_.host, options_.port, error);
  if (port <= 0) {
    if (options_.port == 0) {
      std::fprintf(stderr, "korvexd: cannot listen on %s\n", options_.host.c_str());
    } else {
      std::fprintf(stderr, "korvexd: cannot listen on %s:%d\n", options_.host.c_str(), options_.port);
    }
    return 1;
  }
  options_.port = port;
  std::string host = options_.host.find(':') != std::string::npos ? "[" + options_.host + "]" : options_.host;
  std::printf("listening on %s://%s:%d\n", options_.tlsCert.empty() ? "http" : "https", host.c_str(), port);
  std::fflush(stdout);
  server_->Run();
  FlushReceived(*this);
  return 0;
}

void Service::Stop() { server_->Stop(); }

}  // namespace korvexd

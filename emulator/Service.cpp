// korvexd's HTTP front.
#include "Service.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <thread>

namespace korvexd {
namespace {

/// The server as the library makes it, with the one thing it does not
/// offer: a listen backlog for bursts of connections (it asks for 5, and a
/// burst of 64 clients would wait for SYN retries).
template <class Base>
class WideServer : public Base {
 public:
  using Base::Base;
  void RaiseBacklog(int backlog) {
    if (this->svr_sock_ != INVALID_SOCKET) ::listen(this->svr_sock_, backlog);
  }
};

constexpr int kBacklog = 512;
constexpr std::size_t kWorkerThreads = 128;  // well above 64 keep-alive clients
constexpr std::size_t kMaxBody = Service::kMaxBody;
constexpr std::int64_t kStreamIdleSeconds = 3600;

bool IsLoopback(const std::string& address) {
  return address == "127.0.0.1" || address == "::1" || address.rfind("127.", 0) == 0 ||
         address == "::ffff:127.0.0.1";
}

/// Why a request's framing is unsafe to act on, or empty. A length that
/// two parsers could read differently (a sign, hex, two values, one beside
/// chunked coding) is how requests get smuggled or workers tied up.
std::string FramingError(const httplib::Request& req) {
  if (req.version == "HTTP/1.1" && !req.has_header("Host")) return "HTTP/1.1 request without Host";
  std::size_t lengths = req.get_header_value_count("Content-Length");
  if (lengths == 0) return {};
  std::string first = req.get_header_value("Content-Length");
  for (std::size_t i = 0; i < lengths; ++i) {
    std::string value = req.get_header_value("Content-Length", i);
    if (!ParseU64(value)) return "Content-Length is not a decimal number";
    if (value != first) return "Content-Length given twice with different values";
  }
  if (req.has_header("Transfer-Encoding")) return "Content-Length beside Transfer-Encoding";
  return {};
}

}  // namespace

Service::Service(Options options) : options_(std::move(options)) {}
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
  auto shared = std::make_shared<Handler>(std::move(handler));
  if (method == "GET") {
    server_->Get(pattern, [this, access, shared](const httplib::Request& req, httplib::Response& res) {
      Dispatch(req, res, access, *shared, Body::kForm, {});
    });
    return;
  }
  // Every POST body is read here rather than by the server, which would
  // refuse form bodies above a few KiB and parse raw chunks that clients
  // label as forms.
  server_->Post(pattern, [this, access, shared, bodyKind, maxBody](const httplib::Request& req,
                                                                  httplib::Response& res,
                                                                  const httplib::ContentReader& reader) {
    std::string body;
    bool tooLarge = ParseU64(req.get_header_value("Content-Length")).value_or(0) > maxBody;
    bool complete = !tooLarge && reader([&](const char* data, std::size_t length) {
      if (body.size() + length > maxBody) {
        tooLarge = true;
        return false;
      }
      body.append(data, length);
      return true;
    });
    if (tooLarge) return ReplyHttpError(res, 413, "request body too large");
    if (!complete) return ReplyHttpError(res, 400, "request body could not be read");
    Dispatch(req, res, access, *shared, bodyKind, std::move(body));
  });
}

bool Service::ApplyBeforeFaults(const httplib::Request& req, httplib::Response& res) {
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
        res.set_header("x-korvexws-idt-status", "code=" + std::to_string(fault.value));
        return true;
      default:
        break;
    }
  }
  return false;
}

void Service::ApplyAfterFaults(const httplib::Request& req, httplib::Response& res) {
  for (const Fault& fault : faults_.Take(req.path, FaultPhase::kAfter)) {
    if (fault.kind == FaultKind::kBadMd5) {
      Json body = Json::parse(res.body, nullptr, false);
      for (const char* key : {"stream_md5", "md5sum"}) {
        if (body.is_object() && body.contains(key)) body[key] = "00000000000000000000000000000000";
      }
      if (!body.is_discarded()) res.body = Dump(body);
      continue;
    }
    std::size_t keep = fault.value >= 0 ? static_cast<std::size_t>(fault.value) : res.body.size() / 2;
    keep = std::min(keep, res.body.size());
    if (fault.kind == FaultKind::kCut) {
      res.body.resize(keep);
    } else if (fault.kind == FaultKind::kClose) {
      // Announce the whole body, send part of it, then abort the connection.
      auto body = std::make_shared<std::string>(std::move(res.body));
      std::string type = res.get_header_value("Content-Type");
      res.body.clear();
      res.set_content_provider(body->size(), type,
                               [body, keep](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                 if (offset >= keep) return false;
                                 sink.write(body->data() + offset, std::min(length, keep - offset));
                                 return true;
                               });
    }
  }
}

void Service::Dispatch(const httplib::Request& req, httplib::Response& res, Access access,
                       const Handler& handler, Body bodyKind, std::string body) {
  if (access == Access::kAdmin && !IsLoopback(req.remote_addr)) {
    ReplyHttpError(res, 403, "admin endpoint is loopback only");
    return;
  }
  // Faults never touch the admin endpoint, which must stay able to clear them.
  bool faulty = access != Access::kAdmin;
  if (faulty && ApplyBeforeFaults(req, res)) return;
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
      return;
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
    return;
  }
  if (faulty) ApplyAfterFaults(req, res);
}

int Service::Serve() {
  std::function<void()> raiseBacklog;
  if (!options_.tlsCert.empty()) {
    auto tls = std::make_unique<WideServer<httplib::SSLServer>>(options_.tlsCert.c_str(), options_.tlsKey.c_str());
    raiseBacklog = [server = tls.get()] { server->RaiseBacklog(kBacklog); };
    server_ = std::move(tls);
    if (!server_->is_valid()) {
      std::fprintf(stderr, "korvexd: cannot load the TLS certificate or key\n");
      return 1;
    }
  } else {
    auto plain = std::make_unique<WideServer<httplib::Server>>();
    raiseBacklog = [server = plain.get()] { server->RaiseBacklog(kBacklog); };
    server_ = std::move(plain);
  }
  server_->new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
  server_->set_payload_max_length(kMaxBody);
  // Answers go out as a header write and a body write; without this the
  // body waits for the delayed ACK of the headers (40 ms a request).
  server_->set_tcp_nodelay(true);
  server_->set_keep_alive_max_count(100000);
  // Idle keep-alive connections hold a worker until they time out, and a
  // stop waits for the workers; a short idle time keeps stopping quick.
  server_->set_keep_alive_timeout(2);
  server_->set_read_timeout(30);
  // The client sends "range" headers with exclusive ends on uploads and its
  // own meaning on every data path; the routes read them, so the server must
  // not cut answers to them on its own.
  // Framing is judged before any body is read, so a bad length costs no
  // worker time. The library keeps the connection open after the answer;
  // unread body bytes then fail to parse as the next request and are
  // answered 400 as well.
  server_->set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
    if (std::string error = FramingError(req); !error.empty()) {
      ReplyHttpError(res, 400, error);
      res.set_header("Connection", "close");
      return httplib::Server::HandlerResponse::Handled;
    }
    const_cast<httplib::Request&>(req).ranges.clear();
    return httplib::Server::HandlerResponse::Unhandled;
  });
  server_->set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (res.body.empty()) res.set_content("error " + std::to_string(res.status) + "\n", "text/plain");
  });
  server_->set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
    ReplyHttpError(res, 500, "internal error");
  });

  // The server tries the patterns in this order, so the data paths, which
  // carry most requests, come first.
  if (options_.logRequests) {
    // Session values and tokens are secrets: queries stay out, and so does
    // the tail of an upload path, which carries them.
    server_->set_logger([](const httplib::Request& req, const httplib::Response& res) {
      std::string path = req.path.substr(0, req.path.find("/a="));
      std::fprintf(stderr, "korvexd: %s %s %d %zu\n", req.method.c_str(), path.c_str(), res.status,
                   res.body.size());
    });
  }
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

  int port = options_.port;
  if (port == 0) {
    port = server_->bind_to_any_port(options_.host);
    if (port <= 0) {
      std::fprintf(stderr, "korvexd: cannot listen on %s\n", options_.host.c_str());
      return 1;
    }
  } else if (!server_->bind_to_port(options_.host, port)) {
    std::fprintf(stderr, "korvexd: cannot listen on %s:%d\n", options_.host.c_str(), port);
    return 1;
  }
  options_.port = port;
  raiseBacklog();
  std::string host = options_.host.find(':') != std::string::npos ? "[" + options_.host + "]" : options_.host;
  std::printf("listening on %s://%s:%d\n", options_.tlsCert.empty() ? "http" : "https", host.c_str(), port);
  std::fflush(stdout);
  return server_->listen_after_bind() ? 0 : 1;
}

void Service::Stop() {
  if (server_) server_->stop();
}

}  // namespace korvexd

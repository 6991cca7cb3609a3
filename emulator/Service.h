// korvexd's HTTP front: one server for the web site, API and data paths.
//
// Every route goes through Route(), which reads the session, applies the
// injected faults and turns any escaping exception into a clean 500, so a
// route body only deals with its own request.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Catalog.h"
#include "Database.h"
#include "Faults.h"
#include "HttpServer.h"
#include "PendingReceipts.h"
#include "Router.h"
#include "Streams.h"
#include "Wire.h"
#include "WriteGate.h"

namespace korvexd {

struct Options {
  std::filesystem::path dataDir;
  std::string host = "127.0.0.1";
  int port = 0;
  std::string tlsCert, tlsKey;
  bool seedDemo = false;
  std::filesystem::path updateDir;
  bool updateDigests = true;                   // descriptions carry the published files' SHA-256
  std::vector<std::string> faults;
  bool logRequests = false;
  std::string publicUrl;                       // base of generated links; empty: the listening address
  std::int64_t sessionIdleSeconds = 30 * 86400;  // an unused session ends after this
  std::int64_t tokenSeconds = 86400;            // a transfer token, and its streams, end after this
};

/// Who is calling: an account session, or a visitor who entered with an
/// upload access code (codeId set).
struct Session {
  std::string auth;
  std::int64_t userId = 0;
  std::int64_t codeId = 0;
};

enum class Access {
  kPublic,   // no session needed; a session cookie is read when present
  kData,     // data paths: authorised by their tokens, no session lookup
  kAccount,  // a valid AUTH_PRO cookie of an account login
  kAdmin,    // loopback callers only
};

/// How a POST body is read: as a form, or as raw bytes left in Call::body.
enum class Body { kForm, kRaw };

/// One request being handled.
struct Call {
  const Request& req;
  Response& res;
  std::string body;
  Form form;
  Session session;
  User user;  // filled for kAccount routes
};

class Service {
 public:
  explicit Service(Options options);
  ~Service();

  /// Opens the data folder and the database; seeds when asked.
  [[nodiscard]] bool Init(std::string& error);
  /// Binds, prints the listening line, serves until Stop(). Returns the exit code.
  int Serve();
  void Stop();

  using Handler = std::function<void(Call&)>;
  /// Bodies above maxBody are refused with 413 before they are read.
  void Route(const std::string& method, const std::string& pattern, Access access, Handler handler,
             Body body = Body::kForm, std::size_t maxBody = kMaxBody);
  static constexpr std::size_t kMaxBody = 32ull * 1024 * 1024;  // a block or chunk is at most a few MiB
  /// A data route taking raw bytes that the placer may send straight into
  /// a file as they arrive; the handler then finds them in Request::stored.
  void RouteUpload(const std::string& method, const std::string& pattern, Handler handler, Router::Placer placer);

  /// The live session an AUTH_PRO value names, if any; using it keeps it alive.
  std::optional<Session> FindSession(const std::string& auth);
  /// Base URL of generated links: --public-url, else the listening address.
  /// Never the request's Host header, which the caller chooses.
  std::string BaseUrl() const;

  Catalog& catalog() { return *catalog_; }
  Database& db() { return db_; }
  Faults& faults() { return faults_; }
  StreamTable& streams() { return streams_; }
  WriteGate& writeGate() { return writeGate_; }
  PendingReceipts& receipts() { return receipts_; }
  const Options& options() const { return options_; }

 private:
  void Dispatch(const Request& req, Response& res, Access access, const Handler& handler, Body bodyKind,
                std::string body);
  /// The session checks and the handler; false when the call was refused
  /// or failed, and its answer must stay as it is.
  bool Handle(const Request& req, Response& res, Access access, const Handler& handler, Body bodyKind,
              std::string body);
  bool ApplyBeforeFaults(const Request& req, Response& res);
  void ApplyAfterFaults(const Request& req, Response& res);
  /// Drops expired sessions, tokens, streams and abandoned uploads, at most
  /// once a minute (more often with short lifetimes).
  void SweepWhenDue();

  Options options_;
  Database db_;
  std::unique_ptr<Catalog> catalog_;
  Faults faults_;
  StreamTable streams_;
  WriteGate writeGate_;
  PendingReceipts receipts_;
  Router router_;
  std::unique_ptr<HttpServer> server_;  // made with the service, so Stop() may come at any time
  std::atomic<std::int64_t> nextSweep_{0};
};

/// Route families; each lives in its own file.
void AddAuthRoutes(Service& service);
void AddDirectoryRoutes(Service& service);
void AddFileRoutes(Service& service);
void AddBlockRoutes(Service& service);
void AddStreamRoutes(Service& service);
void AddShareRoutes(Service& service);
void AddLinkRoutes(Service& service);
void AddCodeRoutes(Service& service);
void AddInfoRoutes(Service& service);
void AddAdminRoutes(Service& service);

/// Seeds the demo domain; does nothing when it exists already.
[[nodiscard]] bool SeedDemo(Catalog& catalog, std::string& error);
/// Writes a complete file with the given content; returns its id or 0.
std::int64_t AddFileWithContent(Catalog& catalog, std::int64_t owner, std::int64_t dir,
                                const std::string& name, const std::string& content);

}  // namespace korvexd

// korvexd's HTTP/1.1 server: one listening socket, plain or TLS, keep-alive
// connections spread over single-threaded event loops, each request handed
// to the router's handler once its header and body are complete.
//
// What a connection may cost is bounded: a header block of at most 64 KiB
// that must arrive within 5 s, a body no larger than its route
// allows that keeps arriving, and after any answer that leaves the framing
// in doubt (a malformed request, a refused body) the connection is closed.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "HttpMessage.h"
#include "Router.h"

namespace korvexd {

class HttpServer {
 public:
  using Logger = std::function<void(const Request&, const Response&)>;

  /// The router must outlive the server.
  HttpServer(const Router& router, std::size_t threads);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  /// Loads a PEM certificate chain and key; connections speak TLS from then on.
  [[nodiscard]] bool UseTls(const std::string& certFile, const std::string& keyFile, std::string& error);
  /// Binds and listens; port 0 takes a free port. Returns the port, or 0 with error set.
  [[nodiscard]] int Listen(const std::string& host, int port, std::string& error);
  /// Called after each answer is prepared, from the serving thread.
  void SetLogger(Logger logger);
  /// Serves until Stop(); a Stop() that came first makes this return at once.
  void Run();
  /// Safe from any thread.
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace korvexd

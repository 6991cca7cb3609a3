// korvexd's HTTP/1.1 server.
#include "HttpServer.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "HttpSession.h"

namespace korvexd {

namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {
constexpr int kBacklog = 512;  // a burst of 64 clients must not wait for SYN retries
}  // namespace

// Each connection lives on one of `threads` loops, each run by a single
// thread: a route that blocks (on the database, on an injected delay) holds
// up only the connections of its loop, and no completion ever hands over
// to another thread, which at wire speed costs more than the work itself.
// The acceptor has a loop of its own so that no route delays a connect.
struct HttpServer::Impl {
  Impl(const Router& r, std::size_t threads) : router(r) {
    for (std::size_t i = 0; i < std::max<std::size_t>(threads, 1); ++i)
      loops.push_back(std::make_unique<net::io_context>(1));
  }

  void Accept() {
    net::io_context& loop = *loops[next++ % loops.size()];
    acceptor.async_accept(loop, [this](boost::system::error_code ec, tcp::socket socket) {
      if (ec == net::error::operation_aborted) return;
      if (ec) {
        // Out of descriptors, most likely: wait for some to close rather than spin.
        retry.expires_after(std::chrono::milliseconds(100));
        retry.async_wait([this](boost::system::error_code waitError) {
          if (!waitError) Accept();
        });
        return;
      }
      boost::system::error_code ignored;
      // Answers often go out as two writes; without this the second waits
      // for the delayed ACK of the first (40 ms a request).
      socket.set_option(tcp::no_delay(true), ignored);
      if (tls) {
        ServeTls(std::move(socket), *tls, settings);
      } else {
        ServePlain(std::move(socket), settings);
      }
      Accept();
    });
  }

  const Router& router;
  Logger logger;
  SessionSettings settings{router, logger};
  std::optional<net::ssl::context> tls;
  // Declared after what sessions refer to, so that the loops, and the
  // sessions their pending handlers hold, go first.
  std::vector<std::unique_ptr<net::io_context>> loops;
  std::size_t next = 0;  // only the acceptor's thread touches it
  net::io_context accepting{1};
  tcp::acceptor acceptor{accepting};
  net::steady_timer retry{accepting};
};

HttpServer::HttpServer(const Router& router, std::size_t threads) : impl_(std::make_unique<Impl>(router, threads)) {}

HttpServer::~HttpServer() = default;

bool HttpServer::UseTls(const std::string& certFile, const std::string& keyFile, std::string& error) {
  net::ssl::context context(net::ssl::context::tls_server);
  boost::system::error_code ec;
  context.set_options(net::ssl::context::default_workarounds | net::ssl::context::no_sslv2 |
                          net::ssl::context::no_sslv3,
                      ec);
  if (!ec) context.use_certificate_chain_file(certFile, ec);
  if (!ec) context.use_private_key_file(keyFile, net::ssl::context::pem, ec);
  if (ec) {
    error = ec.message();
    return false;
  }
  impl_->tls.emplace(std::move(context));
  return true;
}

int HttpServer::Listen(const std::string& host, int port, std::string& error) {
  boost::system::error_code ec;
  tcp::resolver resolver(impl_->accepting);
  auto endpoints = resolver.resolve(host, std::to_string(port), tcp::resolver::passive | tcp::resolver::numeric_service, ec);
  if (ec || endpoints.empty()) {
    error = ec ? ec.message() : "no address";
    return 0;
  }
  tcp::acceptor& acceptor = impl_->acceptor;
  tcp::endpoint endpoint = *endpoints.begin();
  acceptor.open(endpoint.protocol(), ec);
  if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
  if (!ec) acceptor.bind(endpoint, ec);
  if (!ec) acceptor.listen(kBacklog, ec);
  tcp::endpoint local = ec ? tcp::endpoint() : acceptor.local_endpoint(ec);
  if (ec) {
    error = ec.message();
    acceptor.close(ec);
    return 0;
  }
  impl_->Accept();
  return local.port();
}

void HttpServer::SetLogger(Logger logger) { impl_->logger = std::move(logger); }

void HttpServer::Run() {
  std::vector<std::thread> pool;
  for (auto& loop : impl_->loops) {
    pool.emplace_back([&loop] {
      // Connections come and go; the loop runs until Stop().
      auto work = net::make_work_guard(*loop);
      loop->run();
    });
  }
  impl_->accepting.run();
  for (std::thread& thread : pool) thread.join();
}

void HttpServer::Stop() {
  impl_->accepting.stop();
  for (auto& loop : impl_->loops) loop->stop();
}

}  // namespace korvexd

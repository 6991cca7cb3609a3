// One client connection of korvexd's HTTP server, plain or TLS. Private to
// HttpServer.cpp.
//
//   [handshake] (TLS only)
//        |
//        v
//   read header --timeout, closed--> close
//        |  bad framing, oversized header or body: answer 4xx --> linger --> close
//        v
//   [100 Continue] -> read body --cut, timeout--> close (the route never runs)
//        |
//        v
//   route handler -> write answer --keep-alive--> read header
//                         |
//                         +--close--> linger --> close
#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>

#include "HttpServer.h"

namespace korvexd {

struct SessionSettings {
  const Router& router;
  const HttpServer::Logger& logger;
};

void ServePlain(boost::asio::ip::tcp::socket socket, const SessionSettings& settings);
void ServeTls(boost::asio::ip::tcp::socket socket, boost::asio::ssl::context& tls, const SessionSettings& settings);

}  // namespace korvexd

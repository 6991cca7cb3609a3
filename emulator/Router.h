// Which handler answers a request: routes are tried in the order they were
// added, and the first whose method and whole path match wins.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "HttpMessage.h"

namespace korvexd {

class Router {
 public:
  using Handler = std::function<void(Request&, Response&)>;
  /// Given a request's header, where its body should be written as it
  /// arrives; nullopt keeps the body in memory for the handler.
  using Placer = std::function<std::optional<BodyPlace>(const Request&)>;

  struct Route {
    std::string method;
    std::string prefix;  // what every path the pattern matches starts with
    std::regex pattern;
    std::size_t maxBody = 0;  // longer request bodies are refused unread
    Handler handler;
    Placer placer;
  };

  /// A GET route also answers HEAD.
  void Add(std::string method, const std::string& pattern, std::size_t maxBody, Handler handler,
           Placer placer = {});

  /// The route for the request, with its groups stored in req.matches; or nullptr.
  const Route* Match(Request& req) const;

  /// The plain text every match of pattern starts with (maybe none), so
  /// that most routes are passed over without running their expression.
  static std::string LiteralPrefix(const std::string& pattern);

 private:
  std::vector<Route> routes_;
};

}  // namespace korvexd

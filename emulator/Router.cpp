// Which handler answers a request.
#include "Router.h"

#include <string_view>

namespace korvexd {

std::string Router::LiteralPrefix(const std::string& pattern) {
  // An alternative outside every group may start anywhere.
  int depth = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (c == '\\') {
      ++i;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (c == '|' && depth <= 0) {
      return {};
    }
  }
  std::size_t end = pattern.find_first_of("\\^$.|?*+()[]{}");
  if (end == std::string::npos) return pattern;
  // A quantifier makes the character before it optional.
  if (end > 0 && std::string_view("?*{").find(pattern[end]) != std::string_view::npos) --end;
  return pattern.substr(0, end);
}

void Router::Add(std::string method, const std::string& pattern, std::size_t maxBody, Handler handler,
                 Placer placer) {
  routes_.push_back(Route{std::move(method), LiteralPrefix(pattern), std::regex(pattern), maxBody, std::move(handler),
                          std::move(placer)});
}

const Router::Route* Router::Match(Request& req) const {
  std::string_view method = req.method == "HEAD" ? std::string_view("GET") : std::string_view(req.method);
  for (const Route& route : routes_) {
    if (route.method == method && req.path.starts_with(route.prefix) &&
        std::regex_match(req.path, req.matches, route.pattern))
      return &route;
  }
  return nullptr;
}

}  // namespace korvexd

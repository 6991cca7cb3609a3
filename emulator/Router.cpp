// Which handler answers a request.
#include "Router.h"

#include <string_view>

namespace korvexd {

void Router::Add(std::string method, const std::string& pattern, std::size_t maxBody, Handler handler,
                 Placer placer) {
  routes_.push_back(Route{std::move(method), std::regex(pattern), maxBody, std::move(handler), std::move(placer)});
}

const Router::Route* Router::Match(Request& req) const {
  std::string_view method = req.method == "HEAD" ? std::string_view("GET") : std::string_view(req.method);
  for (const Route& route : routes_) {
    if (route.method == method && std::regex_match(req.path, req.matches, route.pattern)) return &route;
  }
  return nullptr;
}

}  // namespace korvexd

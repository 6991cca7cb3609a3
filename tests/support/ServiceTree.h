// A user's tree as korvexd holds it, read from its inspection endpoint:
// "/dir/" and "/dir/file" paths, empty when korvexd does not answer.
#pragma once

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <functional>
#include <set>
#include <string>

namespace korvex::testing {

inline std::set<std::string> ServiceTree(const std::string& baseUrl, const std::string& user) {
  using Json = nlohmann::json;
  httplib::Client client(baseUrl);
  auto answer = client.Get("/admin/tree/" + user);
  std::set<std::string> paths;
  if (!answer || answer->status != 200) return paths;
  const std::function<void(const Json&, const std::string&)> walk = [&](const Json& dir, const std::string& at) {
    for (const Json& file : dir["files"]) paths.insert(at + file["name"].get<std::string>());
    for (const Json& sub : dir["dirs"]) {
      paths.insert(at + sub["name"].get<std::string>() + "/");
      walk(sub, at + sub["name"].get<std::string>() + "/");
    }
  };
  walk(Json::parse(answer->body)["tree"], "/");
  return paths;
}

}  // namespace korvex::testing

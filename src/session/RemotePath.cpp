//===- session/RemotePath.cpp - Addresses typed on the command line -----------===//

#include "session/RemotePath.h"

#include <array>
#include <utility>

namespace korvex::session {

namespace {

constexpr std::array<std::pair<std::string_view, RemoteView>, 3> kPrefixes{{
    {"shares:", RemoteView::kShares},
    {"backup:", RemoteView::kBackup},
    {"upload:", RemoteView::kUpload},
}};

}  // namespace

std::string_view ViewPrefix(RemoteView view) {
  for (const auto& [prefix, v] : kPrefixes) {
    if (v == view) return prefix;
  }
  return {};
}

std::optional<RemotePath> ParseRemotePath(std::string_view text, std::string& error) {
  RemotePath path;
  for (const auto& [prefix, view] : kPrefixes) {
    if (text.substr(0, prefix.size()) == prefix) {
      path.view = view;
      text.remove_prefix(prefix.size());
      break;
    }
  }
  // A colon before the first "/" that matched no prefix is a mistyped view
  // name, not a folder called "sahres:".
  const std::size_t colon = text.find(':');
  if (colon != std::string_view::npos && colon < text.find('/')) {
    error = "unknown location '" + std::string(text.substr(0, colon + 1)) +
            "' (use /, shares:/, backup:/ or upload:/)";
    return std::nullopt;
  }
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('/', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view name = text.substr(start, end - start);
    if (name == "." || name == "..") {
      error = "'.' and '..' are not supported in remote paths";
      return std::nullopt;
    }
    if (!name.empty()) path.names.emplace_back(name);
    start = end + 1;
  }
  return path;
}

std::string RemotePath::ContainerUri() const {
  std::string uri = "/";
  for (const std::string& name : names) uri += name + "/";
  return uri;
}

std::string RemotePath::ItemUri() const {
  if (names.empty()) return "/";
  std::string uri = ContainerUri();
  uri.pop_back();
  return uri;
}

RemotePath RemotePath::Parent() const {
  RemotePath parent = *this;
  if (!parent.names.empty()) parent.names.pop_back();
  return parent;
}

std::string RemotePath::Leaf() const { return names.empty() ? std::string() : names.back(); }

std::string RemotePath::Display() const { return std::string(ViewPrefix(view)) + ItemUri(); }

}  // namespace korvex::session

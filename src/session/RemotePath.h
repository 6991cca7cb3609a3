//===- session/RemotePath.h - Addresses typed on the command line ---*- C++ -*-===//
///
/// Remote paths name entries of the user's own disk with "/" as its root
/// ("/reports/2026/q1.pdf"); the other views of the service are reached with
/// a prefix: "shares:/" (folders shared with the user), "backup:/" (the sync
/// folder) and "upload:/" (the access-code folder). A path without a leading
/// "/" is read from the view's root as well, since the client has no working
/// folder. Repeated and trailing "/" are ignored; "." and ".." are refused
/// rather than guessed at.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::session {

enum class RemoteView { kMyDisk, kShares, kBackup, kUpload };

struct RemotePath {
  RemoteView view = RemoteView::kMyDisk;
  /// The names from the view's root down; empty for the root itself.
  std::vector<std::string> names;

  [[nodiscard]] bool IsRoot() const { return names.empty(); }
  /// The store address of the entry as a container ("/a/b/") ...
  [[nodiscard]] std::string ContainerUri() const;
  /// ... and as an item ("/a/b"); "/" for the root.
  [[nodiscard]] std::string ItemUri() const;
  /// The path without its last name (the root's parent is the root).
  [[nodiscard]] RemotePath Parent() const;
  /// The last name; empty for the root.
  [[nodiscard]] std::string Leaf() const;
  /// The path as the user would type it back ("shares:/Team Share/x").
  [[nodiscard]] std::string Display() const;
};

/// Parses `text`; std::nullopt with `error` set for an unknown prefix or a
/// "." or ".." component.
[[nodiscard]] std::optional<RemotePath> ParseRemotePath(std::string_view text, std::string& error);

/// "" for the own disk, else the prefix with its colon ("shares:").
[[nodiscard]] std::string_view ViewPrefix(RemoteView view);

}  // namespace korvex::session

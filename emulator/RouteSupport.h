// Lookups shared by the route families: ids from paths and forms, and the
// objects a caller may see, each refusing the request in the envelope when
// it cannot go on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Service.h"

namespace korvexd {

/// The id in the path's capture group, or nullopt.
std::optional<std::int64_t> PathId(const Request& req, std::size_t group);
/// The id in a form field, or nullopt.
std::optional<std::int64_t> FormId(const Call& call, const std::string& key);

/// The directory, when the caller holds any right on it; otherwise refuses
/// (missing id, unknown directory, no access) and returns nullopt.
std::optional<Dir> VisibleDir(Service& service, Call& call, std::optional<std::int64_t> id,
                              std::uint32_t& mask);
/// The file, when the caller holds any right on its directory.
std::optional<File> VisibleFile(Service& service, Call& call, std::optional<std::int64_t> id,
                                std::uint32_t& mask);

/// The text after the last "." of a name, dot included; empty when none.
std::string ExtensionOf(const std::string& name);

/// The user's quota allows size more bytes beyond the complete files and
/// the uploads in progress.
bool HasSpace(Service& service, std::int64_t userId, std::int64_t size);

}  // namespace korvexd

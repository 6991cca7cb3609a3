//===- update/UpdateDescription.h - The published version file --*- C++ -*-===//
///
/// The web site publishes one small XML file per updatable file:
///
///   <root>
///     <version>1.2.2.23</version>
///     <description>What is new, for the user</description>
///   </root>
///
/// The root's name is compared without regard to letter case ("ROOT" is
/// accepted, as older publishing tools wrote it).
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>

#include "platform/HResult.h"
#include "update/FileVersion.h"

namespace korvex {

struct UpdateDescription {
  FileVersion version = 0;
  std::string versionText;  ///< the version as "a.b.c.d"
  std::string description;  ///< UTF-8; empty when the file has none
};

/// E_INVALIDARG for text that is not XML, a root of another name, or a
/// missing or malformed "version"; `out` is untouched then.
[[nodiscard]] HRESULT ParseUpdateDescription(std::string_view xml, UpdateDescription& out);

}  // namespace korvex

//===- update/UpdateDescription.h - The published version file --*- C++ -*-===//
///
/// The web site publishes one small XML file per updatable file:
///
///   <root>
///     <version>1.2.2.23</version>
///     <description>What is new, for the user</description>
///     <sha256 file="korvex-linux-x86_64.bin">64 hexadecimal digits</sha256>
///   </root>
///
/// The root's name is compared without regard to letter case ("ROOT" is
/// accepted, as older publishing tools wrote it).
///
/// "sha256" is optional and may repeat: one description ("/ZEPH300.xml")
/// stands for several published programs, so each digest names its file;
/// one without "file" stands for whichever file the description is read
/// for. Older clients skip elements they do not know, so adding digests
/// never breaks them.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/HResult.h"
#include "update/FileVersion.h"

namespace korvex {

struct PublishedDigest {
  std::string file;    ///< the published file's name ("korvex-linux-x86_64.bin"); empty: any
  std::string sha256;  ///< 64 lower-case hexadecimal digits
};

struct UpdateDescription {
  FileVersion version = 0;
  std::string versionText;  ///< the version as "a.b.c.d"
  std::string description;  ///< UTF-8; empty when the file has none
  std::vector<PublishedDigest> digests;
};

/// E_INVALIDARG for text that is not XML, a root of another name, a missing
/// or malformed "version", or a "sha256" that is not 64 hexadecimal digits
/// (a digest that can never match would only refuse every download later);
/// `out` is untouched then.
[[nodiscard]] HRESULT ParseUpdateDescription(std::string_view xml, UpdateDescription& out);

/// The SHA-256 published for `fileName`: the digest naming it, else one that
/// names no file; null when the description publishes none for it.
[[nodiscard]] const std::string* PublishedSha256(const UpdateDescription& published, std::string_view fileName);

}  // namespace korvex

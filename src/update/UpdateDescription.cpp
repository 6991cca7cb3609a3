//===- update/UpdateDescription.cpp - The published version file ----------===//

#include "update/UpdateDescription.h"

#include "foundation/XmlReader.h"
#include "platform/AsciiText.h"

namespace korvex {

namespace {

constexpr std::size_t kSha256HexDigits = 64;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool ReadDigest(const XmlNode& node, PublishedDigest& digest) {
  std::string_view text = node.GetText();
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  if (text.size() != kSha256HexDigits) return false;
  digest.sha256.clear();
  for (const char c : text) {
    const char lower = AsciiToLower(c);
    if (!((lower >= '0' && lower <= '9') || (lower >= 'a' && lower <= 'f'))) return false;
    digest.sha256 += lower;
  }
  const std::string* file = node.FindAttribute("file");
  digest.file = file != nullptr ? *file : std::string();
  return true;
}

}  // namespace

HRESULT ParseUpdateDescription(std::string_view xml, UpdateDescription& out) {
  XmlReader reader;
  const std::unique_ptr<XmlNode> root = reader.Parse(xml);
  if (root == nullptr || !EqualsIgnoringAsciiCase(root->LocalName(), "root")) return E_INVALIDARG;
  const XmlNode* version = root->FindChild("version");
  UpdateDescription parsed;
  if (version == nullptr || !ParseVersion(version->GetText(), parsed.version)) return E_INVALIDARG;
  parsed.versionText = FormatVersion(parsed.version);
  if (const XmlNode* description = root->FindChild("description")) parsed.description = description->GetText();
  for (const std::unique_ptr<XmlElement>& item : root->Content()) {
    if (item->Type() != kXmlChildNode) continue;
    const XmlNode& child = *static_cast<const XmlNodeElement&>(*item).Node();
    if (child.LocalName() != "sha256") continue;
    PublishedDigest digest;
    if (!ReadDigest(child, digest)) return E_INVALIDARG;
    parsed.digests.push_back(std::move(digest));
  }
  out = std::move(parsed);
  return S_OK;
}

const std::string* PublishedSha256(const UpdateDescription& published, std::string_view fileName) {
  const std::string* any = nullptr;
  for (const PublishedDigest& digest : published.digests) {
    if (digest.file == fileName) return &digest.sha256;
    if (digest.file.empty() && any == nullptr) any = &digest.sha256;
  }
  return any;
}

}  // namespace korvex

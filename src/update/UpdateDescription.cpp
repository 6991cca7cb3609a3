//===- update/UpdateDescription.cpp - The published version file ----------===//

#include "update/UpdateDescription.h"

#include "foundation/XmlReader.h"
#include "platform/AsciiText.h"

namespace korvex {

HRESULT ParseUpdateDescription(std::string_view xml, UpdateDescription& out) {
  XmlReader reader;
  const std::unique_ptr<XmlNode> root = reader.Parse(xml);
  if (root == nullptr || !EqualsIgnoringAsciiCase(root->LocalName(), "root")) return E_INVALIDARG;
  const XmlNode* version = root->FindChild("version");
  UpdateDescription parsed;
  if (version == nullptr || !ParseVersion(version->GetText(), parsed.version)) return E_INVALIDARG;
  parsed.versionText = FormatVersion(parsed.version);
  if (const XmlNode* description = root->FindChild("description")) parsed.description = description->GetText();
  out = std::move(parsed);
  return S_OK;
}

}  // namespace korvex

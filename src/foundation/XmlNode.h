//===- foundation/XmlNode.h - One element of a parsed document --*- C++ -*-===//
///
/// The tree XmlReader builds. A node owns its content (child nodes, texts,
/// comments, in document order) and knows its parent. Names are split at the
/// first ":" into prefix and local name; lookups compare case-sensitively.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/XmlElement.h"

namespace korvex {

class XmlNode {
 public:
  /// A node named `qualifiedName` ("prefix:local" or "local") under `parent`
  /// (null for a root). Adding it to the parent's content is AppendChild's job.
  explicit XmlNode(std::string_view qualifiedName, XmlNode* parent = nullptr);
  virtual ~XmlNode();
  XmlNode(const XmlNode&) = delete;
  XmlNode& operator=(const XmlNode&) = delete;

  [[nodiscard]] XmlNode* Parent() const noexcept { return parent_; }
  /// The part of the name before the first ":", empty when there is none.
  [[nodiscard]] const std::string& Prefix() const noexcept { return prefix_; }
  /// The part after the first ":", or the whole name.
  [[nodiscard]] const std::string& LocalName() const noexcept { return localName_; }
  [[nodiscard]] const std::vector<std::unique_ptr<XmlElement>>& Content() const noexcept {
    return content_;
  }

  /// The first child node (document order) with this local name and prefix.
  /// With `recursive`, each child's descendants are searched, depth first,
  /// before the next child. Null when there is none.
  [[nodiscard]] XmlNode* FindChild(std::string_view localName, std::string_view prefix = {},
                                   bool recursive = false) const;

  /// The first text item of the content; empty when there is none.
  [[nodiscard]] const std::string& GetText() const;

  /// The attribute's value, or null. A repeated attribute kept its last value.
  [[nodiscard]] const std::string* FindAttribute(std::string_view name) const;
  /// Attribute names in the order they first appeared.
  [[nodiscard]] const std::vector<std::string>& AttributeNames() const noexcept {
    return attributeOrder_;
  }
  /// The namespace declared on this node for `prefix` ("" for "xmlns"), or null.
  [[nodiscard]] const std::string* FindNamespace(std::string_view prefix) const;

  /// Building (XmlReader, tests).
  XmlNode* AppendChild(std::string_view qualifiedName);
  void AppendText(std::string text);
  void AppendComment(std::string text);
  void SetAttribute(std::string_view name, std::string_view value);
  void DeclareNamespace(std::string_view prefix, std::string_view uri);

 private:
  XmlNode* parent_;
  std::string prefix_;
  std::string localName_;
  std::vector<std::unique_ptr<XmlElement>> content_;
  std::map<std::string, std::string, std::less<>> attributes_;
  std::vector<std::string> attributeOrder_;
  std::map<std::string, std::string, std::less<>> namespaces_;
};

}  // namespace korvex

//===- foundation/XmlNode.cpp - One element of a parsed document ----------===//

#include "foundation/XmlNode.h"

namespace korvex {

XmlElement::~XmlElement() = default;

XmlNodeElement::XmlNodeElement(std::unique_ptr<XmlNode> node)
    : XmlElement(kXmlChildNode), node_(std::move(node)) {}

XmlNodeElement::~XmlNodeElement() = default;

XmlNode::XmlNode(std::string_view qualifiedName, XmlNode* parent) : parent_(parent) {
  const std::size_t colon = qualifiedName.find(':');
  if (colon == std::string_view::npos) {
    localName_ = qualifiedName;
  } else {
    prefix_ = qualifiedName.substr(0, colon);
    localName_ = qualifiedName.substr(colon + 1);
  }
}

XmlNode::~XmlNode() = default;

XmlNode* XmlNode::FindChild(std::string_view localName, std::string_view prefix,
                            bool recursive) const {
  for (const auto& item : content_) {
    if (item->Type() != kXmlChildNode) continue;
    XmlNode* child = static_cast<const XmlNodeElement&>(*item).Node();
    if (child->localName_ == localName && child->prefix_ == prefix) return child;
    if (recursive) {
      if (XmlNode* found = child->FindChild(localName, prefix, true)) return found;
    }
  }
  return nullptr;
}

const std::string& XmlNode::GetText() const {
  static const std::string kEmpty;
  for (const auto& item : content_) {
    if (item->Type() == kXmlText) return static_cast<const XmlTextElement&>(*item).Text();
  }
  return kEmpty;
}

const std::string* XmlNode::FindAttribute(std::string_view name) const {
  const auto it = attributes_.find(name);
  return it == attributes_.end() ? nullptr : &it->second;
}

const std::string* XmlNode::FindNamespace(std::string_view prefix) const {
  const auto it = namespaces_.find(prefix);
  return it == namespaces_.end() ? nullptr : &it->second;
}

XmlNode* XmlNode::AppendChild(std::string_view qualifiedName) {
  auto node = std::make_unique<XmlNode>(qualifiedName, this);
  XmlNode* raw = node.get();
  content_.push_back(std::make_unique<XmlNodeElement>(std::move(node)));
  return raw;
}

void XmlNode::AppendText(std::string text) {
  content_.push_back(std::make_unique<XmlTextElement>(std::move(text)));
}

void XmlNode::AppendComment(std::string text) {
  content_.push_back(std::make_unique<XmlCommentElement>(std::move(text)));
}

void XmlNode::SetAttribute(std::string_view name, std::string_view value) {
  const auto [it, inserted] = attributes_.insert_or_assign(std::string(name), std::string(value));
  if (inserted) attributeOrder_.push_back(it->first);
}

void XmlNode::DeclareNamespace(std::string_view prefix, std::string_view uri) {
  namespaces_.insert_or_assign(std::string(prefix), std::string(uri));
}

}  // namespace korvex

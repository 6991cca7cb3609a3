//===- foundation/XmlReader.cpp - Builds an XmlNode tree from text --------===//

#include "foundation/XmlReader.h"

#include <cstring>

namespace korvex {

XmlReader::XmlReader(bool doubleByte) : parser_(this, doubleByte) {}

XmlReader::~XmlReader() = default;

std::unique_ptr<XmlNode> XmlReader::Parse(const char* text, std::ptrdiff_t length) {
  root_.reset();
  current_ = nullptr;
  const HRESULT hr = parser_.Parse(text, length);
  current_ = nullptr;
  if (Failed(hr)) {
    root_.reset();
    return nullptr;
  }
  return std::move(root_);
}

void XmlReader::OnStartElement(const char* name) {
  if (current_ == nullptr) {
    root_ = std::make_unique<XmlNode>(name);
    current_ = root_.get();
  } else {
    current_ = current_->AppendChild(name);
  }
}

void XmlReader::OnAttribute(const char* name, const char* value) {
  if (current_ == nullptr) return;
  constexpr std::string_view kXmlns = "xmlns";
  const std::string_view attribute(name);
  if (attribute == kXmlns) {
    current_->DeclareNamespace("", value);
  } else if (attribute.size() > kXmlns.size() + 1 && attribute.starts_with("xmlns:")) {
    current_->DeclareNamespace(attribute.substr(kXmlns.size() + 1), value);
  } else if (!attribute.starts_with(kXmlns)) {
    current_->SetAttribute(attribute, value);
  }
}

void XmlReader::OnText(const char* text) {
  // Nothing outside the root element is kept.
  if (current_ != nullptr) current_->AppendText(text);
}

void XmlReader::OnComment(const char* text) {
  if (current_ != nullptr) current_->AppendComment(text);
}

void XmlReader::OnEndElement(const char* /*name*/) {
  if (current_ != nullptr && current_->Parent() != nullptr) current_ = current_->Parent();
}

}  // namespace korvex

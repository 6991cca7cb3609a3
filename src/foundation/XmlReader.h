//===- foundation/XmlReader.h - Builds an XmlNode tree from text -*- C++ -*-===//
///
/// The listener that turns XmlParser's events into a tree: the usual way to
/// read a small document such as the update description.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "foundation/XmlListener.h"
#include "foundation/XmlNode.h"
#include "foundation/XmlParser.h"

namespace korvex {

class XmlReader final : public XmlListener {
 public:
  /// `doubleByte` as for XmlParser.
  explicit XmlReader(bool doubleByte = false);
  ~XmlReader() override;

  /// The root of the document of `length` bytes (-1: zero-terminated), or
  /// null for any syntax error; nothing of a failed parse is kept.
  [[nodiscard]] std::unique_ptr<XmlNode> Parse(const char* text, std::ptrdiff_t length = -1);
  [[nodiscard]] std::unique_ptr<XmlNode> Parse(std::string_view text) {
    return Parse(text.data(), static_cast<std::ptrdiff_t>(text.size()));
  }

  void OnStartElement(const char* name) override;
  void OnAttribute(const char* name, const char* value) override;
  void OnText(const char* text) override;
  void OnComment(const char* text) override;
  void OnEndElement(const char* name) override;

 private:
  XmlParser parser_;
  std::unique_ptr<XmlNode> root_;
  XmlNode* current_ = nullptr;  // innermost open element; the root once done
};

}  // namespace korvex

//===- foundation/XmlElement.h - Content items of an XmlNode ----*- C++ -*-===//
///
/// A node's content is an ordered list of child nodes, texts and comments,
/// kept in document order so that "the first text" and "the first child
/// named x" mean what they say.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace korvex {

class XmlNode;

enum XmlElementType : std::int32_t {
  kXmlChildNode = 1,
  kXmlText = 2,
  kXmlComment = 3,
};

class XmlElement {
 public:
  virtual ~XmlElement();
  XmlElement(const XmlElement&) = delete;
  XmlElement& operator=(const XmlElement&) = delete;

  [[nodiscard]] XmlElementType Type() const noexcept { return type_; }

 protected:
  explicit XmlElement(XmlElementType type) noexcept : type_(type) {}

 private:
  XmlElementType type_;
};

/// A child element; owns its node.
class XmlNodeElement final : public XmlElement {
 public:
  explicit XmlNodeElement(std::unique_ptr<XmlNode> node);
  ~XmlNodeElement() override;
  [[nodiscard]] XmlNode* Node() const noexcept { return node_.get(); }

 private:
  std::unique_ptr<XmlNode> node_;
};

class XmlTextElement final : public XmlElement {
 public:
  explicit XmlTextElement(std::string text) : XmlElement(kXmlText), text_(std::move(text)) {}
  [[nodiscard]] const std::string& Text() const noexcept { return text_; }

 private:
  std::string text_;
};

class XmlCommentElement final : public XmlElement {
 public:
  explicit XmlCommentElement(std::string text)
      : XmlElement(kXmlComment), text_(std::move(text)) {}
  [[nodiscard]] const std::string& Text() const noexcept { return text_; }

 private:
  std::string text_;
};

}  // namespace korvex

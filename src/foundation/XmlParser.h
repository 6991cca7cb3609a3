//===- foundation/XmlParser.h - Small streaming XML parser ------*- C++ -*-===//
///
/// A forgiving recursive-descent reader for the documents the client fetches
/// (update descriptions): elements, double-quoted attributes, text, comments,
/// the five predefined entities, an optional UTF-8 byte-order mark, an
/// optional leading declaration and namespace attributes. No DTDs, CDATA,
/// processing instructions or numeric character references.
///
/// Nesting is limited to kMaxDepth elements, so that a hostile document
/// cannot exhaust the stack; a deeper document fails to parse.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/HResult.h"

namespace korvex {

class XmlListener;

class XmlParser {
 public:
  static constexpr int kMaxDepth = 256;

  /// `listener` is not owned and must outlive every Parse. With `doubleByte`
  /// set, a byte with its high bit set and the byte after it form one
  /// character that is never a delimiter or white space, which keeps the
  /// trail bytes of double-byte code pages from being read as "<" or quotes.
  explicit XmlParser(XmlListener* listener, bool doubleByte = false);
  virtual ~XmlParser();
  XmlParser(const XmlParser&) = delete;
  XmlParser& operator=(const XmlParser&) = delete;

  /// Parses the document of `length` bytes at `text` (-1: up to its zero
  /// terminator) and reports it to the listener. Anything after the root
  /// element is ignored. S_OK, or E_INVALIDARG for any syntax error (the
  /// listener may already have seen part of the document).
  [[nodiscard]] HRESULT Parse(const char* text, std::ptrdiff_t length = -1);

  [[nodiscard]] bool DoubleByte() const noexcept { return doubleByte_; }

 private:
  [[nodiscard]] bool ParseElement(int depth);
  [[nodiscard]] bool ParseComment();
  [[nodiscard]] bool ParseAttribute();
  [[nodiscard]] bool ParseContent(const std::string& name, int depth);

  /// Bytes of the character at `pos` (2 for a double-byte pair).
  [[nodiscard]] std::size_t CharWidth(std::size_t pos) const noexcept;
  /// True when the single-byte character at `pos` is `c`.
  [[nodiscard]] bool Is(std::size_t pos, char c) const noexcept;
  /// First position from pos_ whose character is one of `stops`, or size_.
  [[nodiscard]] std::size_t ScanTo(std::string_view stops) const noexcept;
  void SkipSpace() noexcept;
  /// Decodes the predefined entities in place; with `trim`, also drops
  /// white space at both ends.
  void Decode(std::string& text, bool trim) const;

  bool doubleByte_;
  XmlListener* listener_;
  const char* text_ = nullptr;  // the document while Parse runs
  std::size_t size_ = 0;
  std::size_t pos_ = 0;
};

}  // namespace korvex

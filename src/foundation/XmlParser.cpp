//===- foundation/XmlParser.cpp - Small streaming XML parser --------------===//

#include "foundation/XmlParser.h"

#include <cassert>
#include <cstring>

#include "foundation/XmlListener.h"

namespace korvex {
namespace {

constexpr std::string_view kSpace = " \t\n\r";

bool IsSpaceByte(char c) noexcept { return kSpace.find(c) != std::string_view::npos; }

struct Entity {
  std::string_view name;  // between "&" and ";"
  char value;
};
constexpr Entity kEntities[] = {
    {"quot", '"'}, {"apos", '\''}, {"amp", '&'}, {"lt", '<'}, {"gt", '>'},
};

}  // namespace

XmlParser::XmlParser(XmlListener* listener, bool doubleByte)
    : doubleByte_(doubleByte), listener_(listener) {
  assert(listener != nullptr && "an XmlParser needs a listener");
}

XmlParser::~XmlParser() = default;

HRESULT XmlParser::Parse(const char* text, std::ptrdiff_t length) {
  if (text == nullptr || length < -1) return E_INVALIDARG;
  text_ = text;
  size_ = length == -1 ? std::strlen(text) : static_cast<std::size_t>(length);
  pos_ = 0;
  if (size_ > 3 && std::memcmp(text_, "\xEF\xBB\xBF", 3) == 0) pos_ = 3;
  if (size_ - pos_ >= 3 && Is(pos_, '<') && Is(pos_ + 1, '?')) {
    pos_ = ScanTo(">");
    if (pos_ >= size_) return E_INVALIDARG;
    ++pos_;
    SkipSpace();
  }
  // Comments may stand before the root; they belong to no element.
  while (size_ - pos_ >= 2 && Is(pos_, '<') && Is(pos_ + 1, '!')) {
    if (!ParseComment()) return E_INVALIDARG;
    SkipSpace();
  }
  if (!Is(pos_, '<')) return E_INVALIDARG;
  return ParseElement(1) ? S_OK : E_INVALIDARG;
}

std::size_t XmlParser::CharWidth(std::size_t pos) const noexcept {
  if (doubleByte_ && static_cast<unsigned char>(text_[pos]) >= 0x80 && pos + 1 < size_) return 2;
  return 1;
}

bool XmlParser::Is(std::size_t pos, char c) const noexcept {
  // Only reached on character boundaries, where a lead byte has its high
  // bit set and so never equals an ASCII delimiter.
  return pos < size_ && text_[pos] == c;
}

std::size_t XmlParser::ScanTo(std::string_view stops) const noexcept {
  std::size_t pos = pos_;
  while (pos < size_) {
    const std::size_t width = CharWidth(pos);
    if (width == 1 && stops.find(text_[pos]) != std::string_view::npos) return pos;
    pos += width;
  }
  return size_;
}

void XmlParser::SkipSpace() noexcept {
  while (pos_ < size_ && IsSpaceByte(text_[pos_])) ++pos_;
}

bool XmlParser::ParseComment() {
  // pos_ is at "<!".
  if (size_ - pos_ < 7 || std::memcmp(text_ + pos_, "<!--", 4) != 0) return false;
  const std::size_t body = pos_ + 4;
  for (std::size_t pos = body; pos + 3 <= size_; pos += CharWidth(pos)) {
    if (std::memcmp(text_ + pos, "-->", 3) == 0) {
      const std::string comment(text_ + body, pos - body);
      listener_->OnComment(comment.c_str());
      pos_ = pos + 3;
      return true;
    }
  }
  return false;
}

bool XmlParser::ParseElement(int depth) {
  // pos_ is at "<".
  const std::size_t start = pos_;
  ++pos_;
  const std::size_t nameEnd = ScanTo(" \t\n\r>/");
  if (nameEnd == pos_) return false;
  if (text_[pos_] == '!') {
    pos_ = start;
    return ParseComment();
  }
  if (depth > kMaxDepth) return false;
  const std::string name(text_ + pos_, nameEnd - pos_);
  pos_ = nameEnd;
  listener_->OnStartElement(name.c_str());
  SkipSpace();
  while (pos_ < size_ && !Is(pos_, '>') && !Is(pos_, '/')) {
    if (!ParseAttribute()) return false;
  }
  if (pos_ >= size_) return false;
  if (Is(pos_, '/')) {
    if (!Is(pos_ + 1, '>')) return false;
    pos_ += 2;
    listener_->OnEndElement(name.c_str());
    return true;
  }
  ++pos_;  // past ">"
  return ParseContent(name, depth);
}

bool XmlParser::ParseAttribute() {
  const std::size_t nameEnd = ScanTo(" \t\n\r=>/");
  if (nameEnd == pos_) return false;
  const std::string name(text_ + pos_, nameEnd - pos_);
  pos_ = nameEnd;
  SkipSpace();
  if (!Is(pos_, '=')) return false;
  ++pos_;
  SkipSpace();
  if (!Is(pos_, '"')) return false;  // single quotes are not part of the dialect
  ++pos_;
  const std::size_t valueEnd = ScanTo("\"");
  if (valueEnd >= size_) return false;
  std::string value(text_ + pos_, valueEnd - pos_);
  Decode(value, false);
  listener_->OnAttribute(name.c_str(), value.c_str());
  pos_ = valueEnd + 1;
  SkipSpace();
  return true;
}

bool XmlParser::ParseContent(const std::string& name, int depth) {
  for (;;) {
    const std::size_t textEnd = ScanTo("<");
    if (textEnd > pos_) {
      std::string text(text_ + pos_, textEnd - pos_);
      Decode(text, true);
      if (!text.empty()) listener_->OnText(text.c_str());
      pos_ = textEnd;
    }
    if (pos_ >= size_) return false;
    if (!Is(pos_ + 1, '/')) {
      if (!ParseElement(depth + 1)) return false;
      continue;
    }
    pos_ += 2;
    const std::size_t closeEnd = ScanTo(" \t\n\r>");
    if (std::string_view(text_ + pos_, closeEnd - pos_) != name) return false;
    listener_->OnEndElement(name.c_str());
    pos_ = closeEnd;
    SkipSpace();
    if (!Is(pos_, '>')) return false;
    ++pos_;
    return true;
  }
}

void XmlParser::Decode(std::string& text, bool trim) const {
  // Decoding only ever shortens, so the output can chase the input in place.
  std::size_t out = 0;
  std::size_t keptBegin = std::string::npos;  // first non-space output byte
  std::size_t keptEnd = 0;                    // one past the last one
  auto keep = [&](std::size_t from, std::size_t to) {
    if (keptBegin == std::string::npos) keptBegin = from;
    keptEnd = to;
  };
  for (std::size_t in = 0; in < text.size();) {
    if (doubleByte_ && static_cast<unsigned char>(text[in]) >= 0x80 && in + 1 < text.size()) {
      text[out] = text[in];
      text[out + 1] = text[in + 1];
      keep(out, out + 2);
      out += 2;
      in += 2;
      continue;
    }
    char c = text[in];
    std::size_t consumed = 1;
    if (c == '&') {
      const std::string_view rest = std::string_view(text).substr(in + 1);
      for (const Entity& e : kEntities) {
        if (rest.size() > e.name.size() && rest.starts_with(e.name) && rest[e.name.size()] == ';') {
          c = e.value;
          consumed = e.name.size() + 2;
          break;
        }
      }
    }
    text[out] = c;
    if (!IsSpaceByte(c)) keep(out, out + 1);
    ++out;
    in += consumed;
  }
  text.resize(out);
  if (!trim) return;
  if (keptBegin == std::string::npos) {
    text.clear();
    return;
  }
  text.resize(keptEnd);
  text.erase(0, keptBegin);
}

}  // namespace korvex

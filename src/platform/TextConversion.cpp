//===- platform/TextConversion.cpp - UTF-8, UTF-16 and code page 936 ------===//

#include "platform/TextConversion.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <string>

namespace korvex {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

/// Decodes one code point at `i`, advancing `i` past it. A malformed
/// sequence yields kReplacement and advances past the longest valid prefix
/// (at least one byte), so one bad byte never swallows good text after it.
char32_t DecodeUtf8(std::string_view s, std::size_t& i) {
  const unsigned char lead = static_cast<unsigned char>(s[i]);
  if (lead < 0x80) {
    ++i;
    return lead;
  }
  int length;
  char32_t cp;
  char32_t lowest;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F, lowest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F, lowest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07, lowest = 0x10000;
  } else {
    ++i;
    return kReplacement;
  }
  std::size_t j = i + 1;
  for (int k = 1; k < length; ++k, ++j) {
    if (j >= s.size() || !IsContinuation(static_cast<unsigned char>(s[j]))) {
      i = j;
      return kReplacement;
    }
    cp = (cp << 6) | (static_cast<unsigned char>(s[j]) & 0x3F);
  }
  i = j;
  if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

/// One iconv pass over the whole input; a fresh descriptor per call because
/// a descriptor carries shift state and must not be shared between threads.
bool Convert(const char* to, const char* from, std::string_view in, std::string& out) {
  out.clear();
  iconv_t cd = ::iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string result;
  result.resize(in.size() * 2 + 16);
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  std::size_t used = 0;
  bool ok = true;
  for (;;) {
    char* dst = result.data() + used;
    std::size_t dstLeft = result.size() - used;
    // A final call with null input flushes any pending shift sequence.
    std::size_t rc = srcLeft > 0 ? ::iconv(cd, &src, &srcLeft, &dst, &dstLeft)
                                 : ::iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    used = result.size() - dstLeft;
    if (rc != static_cast<std::size_t>(-1)) {
      if (srcLeft == 0) break;
      continue;
    }
    if (errno == E2BIG) {
      result.resize(result.size() * 2);
      continue;
    }
    ok = false;  // EILSEQ: invalid or unrepresentable; EINVAL: truncated input
    break;
  }
  ::iconv_close(cd);
  if (!ok) return false;
  result.resize(used);
  out = std::move(result);
  return true;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t cp = DecodeUtf8(utf8, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 3);
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t unit = utf16[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

bool Utf8ToGbk(std::string_view in, std::string& out) { return Convert("GBK", "UTF-8", in, out); }

bool GbkToUtf8(std::string_view in, std::string& out) { return Convert("UTF-8", "GBK", in, out); }

bool Utf8ToCodePage(std::string_view in, std::uint32_t codePage, std::string& out) {
  // Windows numbers its code pages; glibc knows most of them as "CPnnn".
  constexpr std::uint32_t kUtf8 = 65001;
  constexpr std::uint32_t kGb18030 = 54936;
  if (codePage == kUtf8) return Convert("UTF-8", "UTF-8", in, out);
  if (codePage == kGb18030) return Convert("GB18030", "UTF-8", in, out);
  return Convert(("CP" + std::to_string(codePage)).c_str(), "UTF-8", in, out);
}

}  // namespace korvex

//===- service/JsonParser.cpp - Spirit grammar for service answers ----===//
//
// The grammar builds the document on a value stack as it matches: strings,
// numbers, booleans and nulls push themselves, "{" and "[" push a marker, a
// member folds its key and value into a pair, and "}" / "]" fold everything
// above their marker into one object or array.
//
//===----------------------------------------------------------------------===//

// Answers are parsed on every connection thread at once; Spirit's grammar
// definitions then need thread-specific storage.
#ifndef BOOST_SPIRIT_THREADSAFE
#define BOOST_SPIRIT_THREADSAFE
#endif

#include "service/JsonParser.h"

// Spirit's match<char> keeps the matched character in a boost::optional;
// with sanitizer instrumentation GCC loses track of its engaged flag and
// reports the storage as uninitialised where the grammar is instantiated.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include <boost/spirit/include/classic_core.hpp>
#include <boost/spirit/include/classic_chset.hpp>

#include <charconv>
#include <cstdlib>
#include <utility>
#include <vector>

namespace korvex {
namespace {

namespace sp = boost::spirit::classic;

struct StackEntry {
  enum Kind : std::uint8_t { kValue, kPair, kObjectMark, kArrayMark };
  Kind kind = kValue;
  std::string key;  // kPair only
  JsonValue value;  // kValue and kPair
};

struct ParseState {
  std::vector<StackEntry> stack;
  int depth = 0;
  bool numberOverflow = false;

  void Push(JsonValue value) { stack.push_back({StackEntry::kValue, {}, std::move(value)}); }
};

// Appends code point `cp` (at most 0xFFFF) as UTF-8; a surrogate half is
// written like any other code point rather than combined with its partner.
void AppendUtf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

unsigned HexDigit(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
  return static_cast<unsigned>(c - 'A' + 10);  // the grammar admitted only hex digits
}

// Decodes a matched string literal, quotes included. The grammar has already
// checked every escape, so this only translates.
std::string DecodeString(const char* first, const char* last) {
  ++first;  // opening quote
  --last;   // closing quote
  std::string out;
  out.reserve(static_cast<std::size_t>(last - first));
  while (first != last) {
    const char* plain = first;
    while (first != last && *first != '\\') ++first;
    out.append(plain, first);
    if (first == last) break;
    char escaped = first[1];
    first += 2;
    switch (escaped) {
      case 'b': out.push_back('\b'); break;
      case 'f': out.push_back('\f'); break;
      case 'n': out.push_back('\n'); break;
      case 'r': out.push_back('\r'); break;
      case 't': out.push_back('\t'); break;
      case 'u': {
        unsigned cp = 0;
        for (int i = 0; i < 4; ++i) cp = (cp << 4) | HexDigit(first[i]);
        first += 4;
        AppendUtf8(out, cp);
        break;
      }
      default: out.push_back(escaped); break;  // '"', '\\' and '/'
    }
  }
  return out;
}

// Integers keep the wrap-around of the unsigned text conversion for a leading
// "-", but digits beyond 64 bits are an error rather than a clamped value.
bool ConvertInteger(const char* first, const char* last, std::uint64_t& out) {
  bool negative = *first == '-';
  if (negative) ++first;
  std::uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(first, last, magnitude);
  if (ec != std::errc() || end != last) return false;
  out = negative ? (~magnitude + 1) : magnitude;
  return true;
}

float ConvertFloat(const char* first, const char* last) {
  float value = 0;
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves the value untouched out of range; the C conversion
    // gives the customary infinity or zero.
    std::string text(first, last);
    return std::strtof(text.c_str(), nullptr);
  }
  (void)end;
  return value;
}

struct PushString {
  ParseState& state;
  void operator()(const char* first, const char* last) const {
    state.Push(JsonValue(DecodeString(first, last)));
  }
};

struct PushNumber {
  ParseState& state;
  void operator()(const char* first, const char* last) const {
    for (const char* p = first; p != last; ++p) {
      if (*p == '.' || *p == 'e' || *p == 'E') {
        state.Push(JsonValue(ConvertFloat(first, last)));
        return;
      }
    }
    std::uint64_t value = 0;
    if (!ConvertInteger(first, last, value)) state.numberOverflow = true;
    state.Push(JsonValue(value));
  }
};

struct PushBool {
  ParseState& state;
  void operator()(const char* first, const char*) const { state.Push(JsonValue(*first == 't')); }
};

struct PushNull {
  ParseState& state;
  void operator()(const char*, const char*) const { state.Push(JsonValue()); }
};

struct OpenMarker {
  ParseState& state;
  StackEntry::Kind kind;
  void operator()(char) const {
    ++state.depth;
    state.stack.push_back({kind, {}, {}});
  }
};

struct DepthAllowed {
  ParseState& state;
  bool operator()() const { return state.depth <= kMaxJsonDepth; }
};

// A key goes on the stack as a pair still waiting for its value.
struct PushKey {
  ParseState& state;
  void operator()(const char* first, const char* last) const {
    state.stack.push_back({StackEntry::kPair, DecodeString(first, last), {}});
  }
};

struct MakePair {
  ParseState& state;
  void operator()(const char*, const char*) const {
    auto& stack = state.stack;
    JsonValue value = std::move(stack.back().value);
    stack.pop_back();
    stack.back().value = std::move(value);
  }
};

// Finds the innermost marker; the grammar guarantees there is one.
std::size_t MarkerIndex(const std::vector<StackEntry>& stack, StackEntry::Kind kind) {
  std::size_t i = stack.size();
  while (i > 0 && stack[i - 1].kind != kind) --i;
  return i - 1;
}

struct CloseObject {
  ParseState& state;
  void operator()(char) const {
    auto& stack = state.stack;
    std::size_t mark = MarkerIndex(stack, StackEntry::kObjectMark);
    JsonObject object;
    // Inserting in document order without overwriting keeps the first of a
    // duplicated key, the same outcome as folding back to front with
    // overwrites.
    for (std::size_t i = mark + 1; i < stack.size(); ++i) {
      if (stack[i].kind == StackEntry::kPair)
        object.emplace(std::move(stack[i].key), std::move(stack[i].value));
    }
    stack.resize(mark);
    --state.depth;
    state.Push(JsonValue(std::move(object)));
  }
};

struct CloseArray {
  ParseState& state;
  void operator()(char) const {
    auto& stack = state.stack;
    std::size_t mark = MarkerIndex(stack, StackEntry::kArrayMark);
    JsonArray array;
    for (std::size_t i = mark + 1; i < stack.size(); ++i) array.push_back(std::move(stack[i].value));
    stack.resize(mark);
    --state.depth;
    state.Push(JsonValue(std::move(array)));
  }
};

struct JsonGrammar : sp::grammar<JsonGrammar> {
  explicit JsonGrammar(ParseState& s) : state(s) {}
  ParseState& state;

  template <typename ScannerT>
  struct definition {
    explicit definition(const JsonGrammar& self) {
      using namespace sp;
      ParseState& st = self.state;
      value = string_ | number_ | object_ | array_ | boolean_ | null_;
      // The depth test sits between the opening bracket and the recursion,
      // so nesting stops before it costs stack.
      object_ = ch_p('{')[OpenMarker{st, StackEntry::kObjectMark}] >> eps_p(DepthAllowed{st}) >>
                !(member_ >> *(ch_p(',') >> member_)) >> ch_p('}')[CloseObject{st}];
      member_ = (quoted_[PushKey{st}] >> ch_p(':') >> value)[MakePair{st}];
      array_ = ch_p('[')[OpenMarker{st, StackEntry::kArrayMark}] >> eps_p(DepthAllowed{st}) >>
               !(value >> *(ch_p(',') >> value)) >> ch_p(']')[CloseArray{st}];
      quoted_ = lexeme_d[ch_p('"') >>
                         *(~chset_p("\"\\") |
                           (ch_p('\\') >> (chset_p("\"\\/bfnrt") |
                                           (ch_p('u') >> xdigit_p >> xdigit_p >> xdigit_p >> xdigit_p)))) >>
                         ch_p('"')];
      string_ = quoted_[PushString{st}];
      number_ = lexeme_d[!ch_p('-') >> (ch_p('0') | (range_p('1', '9') >> *digit_p)) >>
                         !(ch_p('.') >> +digit_p) >>
                         !((ch_p('e') | ch_p('E')) >> !(ch_p('+') | ch_p('-')) >> +digit_p)][PushNumber{st}];
      boolean_ = lexeme_d[str_p("true") | str_p("false")][PushBool{st}];
      null_ = lexeme_d[str_p("null")][PushNull{st}];
    }

    sp::rule<ScannerT> value, object_, member_, array_, quoted_, string_, number_, boolean_, null_;
    const sp::rule<ScannerT>& start() const { return value; }
  };
};

}  // namespace

JsonValue ParseJson(const char* data, std::size_t length) {
  if (!data) return {};
  ParseState state;
  JsonGrammar grammar(state);
  // The skipper is an explicit set: the classification functions are
  // undefined for the high bytes of UTF-8 text.
  sp::chset<char> blanks(" \t\n\r\v\f");
  const char* end = data + length;
  sp::parse_info<const char*> info = sp::parse(data, end, grammar, blanks);
  // The skipper runs only before tokens, so trailing blanks are left over.
  const char* rest = info.stop;
  while (rest != end && blanks.test(*rest)) ++rest;
  if (!info.hit || rest != end || state.numberOverflow || state.stack.size() != 1 ||
      state.stack.front().kind != StackEntry::kValue)
    return {};
  return std::move(state.stack.front().value);
}

}  // namespace korvex

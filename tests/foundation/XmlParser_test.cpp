#include "foundation/XmlParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/XmlListener.h"

namespace korvex {
namespace {

/// Writes every event as one short line, so that whole parses compare as text.
class RecordingListener : public XmlListener {
 public:
  void OnStartElement(const char* name) override { events += std::string("<") + name + "\n"; }
  void OnAttribute(const char* name, const char* value) override {
    events += std::string("@") + name + "=" + value + "\n";
  }
  void OnText(const char* text) override { events += std::string("T:") + text + "\n"; }
  void OnComment(const char* text) override { events += std::string("C:") + text + "\n"; }
  void OnEndElement(const char* name) override { events += std::string(">") + name + "\n"; }
  std::string events;
};

// `events` is checked only for documents that parse.
struct ParseCase { const char* name; std::string document; bool ok; std::string events; };

void RunCases(const std::vector<ParseCase>& cases, bool doubleByte) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingListener listener;
    XmlParser parser(&listener, doubleByte);
    const HRESULT hr = parser.Parse(c.document.data(), static_cast<std::ptrdiff_t>(c.document.size()));
    EXPECT_EQ(Succeeded(hr), c.ok) << listener.events;
    if (c.ok) { EXPECT_EQ(listener.events, c.events); }
  }
}

TEST(XmlParser, AcceptsTheSupportedSubsetAndNothingElse) {
  RunCases(
      {
          {"bom and declaration", "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<root a=\"1\"/>",
           true, "<root\n@a=1\n>root\n"},
          {"spaces around = and before >", "<a  b = \"1\"\tc=\"2\" >t</a >", true,
           "<a\n@b=1\n@c=2\nT:t\n>a\n"},
          {"trimmed text with entity", "<a>  b &amp; c  </a>", true, "<a\nT:b & c\n>a\n"},
          {"blank text is dropped", "<a> \r\n\t <b/>  </a>", true, "<a\n<b\n>b\n>a\n"},
          {"entities", "<a v=\"&quot;&apos;&amp;&lt;&gt;&nbsp;&amp\">&lt;x&gt;</a>", true,
           "<a\n@v=\"'&<>&nbsp;&amp\nT:<x>\n>a\n"},
          {"entity is decoded once", "<a>&amp;lt;</a>", true, "<a\nT:&lt;\n>a\n"},
          {"text split by comment", "<a>one<!-- note -->two</a>", true,
           "<a\nT:one\nC: note \nT:two\n>a\n"},
          {"comment before root", "<!-- generated --> \n<r/>", true, "C: generated \n<r\n>r\n"},
          {"trailing content ignored", "<r/>junk<<<", true, "<r\n>r\n"},
          {"prefixed names", "<k:a xmlns:k=\"urn:x\"><k:b/></k:a>", true,
           "<k:a\n@xmlns:k=urn:x\n<k:b\n>k:b\n>k:a\n"},
          {"empty", "", false, ""},
          {"text only", "hello", false, ""},
          {"leading blank without declaration", " <a/>", false, ""},
          {"unterminated declaration", "<?xml version=\"1.0\"", false, ""},
          {"single-quoted attribute", "<a b='x'/>", false, ""},
          {"attribute without value", "<a b/>", false, ""},
          {"unterminated attribute value", "<a b=\"x/>", false, ""},
          {"slash not before >", "<a/x>", false, ""},
          {"mismatched end tag", "<a><b></c></a>", false, ""},
          {"end tag case differs", "<a></A>", false, ""},
          {"unclosed element", "<a><b/>", false, ""},
          {"unclosed start tag", "<a", false, ""},
          {"unterminated comment", "<a><!-- x</a>", false, ""},
          {"doctype", "<!DOCTYPE a><a/>", false, ""},
          {"bare <", "<a>1 < 2</a>", false, ""},
      },
      false);
}

TEST(XmlParser, DoubleBytePairsAreNeverDelimiters) {
  // 0x95 leads a pair whose trail byte is "<", a quote or a blank.
  const std::vector<ParseCase> cases = {
      {"trail is <", "<a>\x95<x</a>", true, "<a\nT:\x95<x\n>a\n"},
      {"trail is a quote", "<a v=\"\x95\"\"/>", true, "<a\n@v=\x95\"\n>a\n"},
      {"trail blank is not trimmed", "<a> \x95 </a>", true, "<a\nT:\x95 \n>a\n"},
      {"ascii still works", "<a>x &amp; y</a>", true, "<a\nT:x & y\n>a\n"},
  };
  RunCases(cases, true);
  // Without the flag the same bytes are single characters and the first two
  // documents break apart.
  RunCases({{"trail is <", cases[0].document, false, ""}, {"trail is a quote", cases[1].document, false, ""}},
           false);
}

TEST(XmlParser, NestingAndLengthAreLimited) {
  auto nested = [](int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<e>";
    for (int i = 0; i < depth; ++i) text += "</e>";
    return text;
  };
  RecordingListener listener;
  XmlParser parser(&listener);
  EXPECT_EQ(parser.Parse("<a></a>", 5), E_INVALIDARG) << "the given length cuts the document";
  EXPECT_EQ(parser.Parse(nullptr), E_INVALIDARG);
  EXPECT_EQ(parser.Parse(nested(XmlParser::kMaxDepth).c_str()), S_OK);
  EXPECT_EQ(parser.Parse(nested(XmlParser::kMaxDepth + 1).c_str()), E_INVALIDARG);
  // Deep enough to overflow the stack of a parser without a limit.
  EXPECT_EQ(parser.Parse(nested(1'000'000).c_str()), E_INVALIDARG);
  // Comments do not nest, so they do not count.
  std::string deepComment = nested(XmlParser::kMaxDepth);
  deepComment.insert(3 * XmlParser::kMaxDepth, "<!-- deepest -->");
  EXPECT_EQ(parser.Parse(deepComment.c_str()), S_OK);
}

}  // namespace
}  // namespace korvex

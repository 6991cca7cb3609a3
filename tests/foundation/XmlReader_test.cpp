#include "foundation/XmlReader.h"

#include <gtest/gtest.h>

#include <string>

namespace korvex {
namespace {

std::string Or(const std::string* value) { return value ? *value : "<none>"; }
std::string TextOf(const XmlNode* node) { return node ? node->GetText() : "<none>"; }

TEST(XmlReader, ReadsAnUpdateDescription) {
  const std::string text =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!-- published by the build -->\n"
      "<root>\n"
      "  <version>1.2.2.23</version>\n"
      "  <description>\xE4\xBF\xAE\xE5\xA4\x8D: uploads &amp; downloads resume</description>\n"
      "</root>\n";
  XmlReader reader;
  const auto root = reader.Parse(text);
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->LocalName(), "root");
  EXPECT_EQ(root->Parent(), nullptr);
  const XmlNode* version = root->FindChild("version");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->GetText(), "1.2.2.23");
  EXPECT_EQ(version->Parent(), root.get());
  EXPECT_EQ(TextOf(root->FindChild("description")), "\xE4\xBF\xAE\xE5\xA4\x8D: uploads & downloads resume");
  EXPECT_EQ(root->FindChild("Version"), nullptr);
}

TEST(XmlReader, KeepsContentInDocumentOrder) {
  XmlReader reader;
  const auto root = reader.Parse("<a>first<!--c--><b/>second</a>");
  ASSERT_NE(root, nullptr);
  const auto& content = root->Content();
  ASSERT_EQ(content.size(), 4u);
  EXPECT_EQ(content[0]->Type(), kXmlText);
  ASSERT_EQ(content[1]->Type(), kXmlComment);
  EXPECT_EQ(static_cast<const XmlCommentElement&>(*content[1]).Text(), "c");
  ASSERT_EQ(content[2]->Type(), kXmlChildNode);
  EXPECT_EQ(static_cast<const XmlNodeElement&>(*content[2]).Node()->LocalName(), "b");
  EXPECT_EQ(static_cast<const XmlTextElement&>(*content[3]).Text(), "second");
  EXPECT_EQ(root->GetText(), "first");
  EXPECT_EQ(TextOf(root->FindChild("b")), "");
}

TEST(XmlReader, SeparatesAttributesFromNamespaces) {
  XmlReader reader;
  const auto root = reader.Parse(
      "<k:r xmlns=\"urn:default\" xmlns:k=\"urn:k\" xmlns:=\"bad\" xmlnsx=\"ignored\" "
      "b=\"1\" a=\"2\" b=\"3\"><k:item/><item/></k:r>");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->Prefix(), "k");
  EXPECT_EQ(root->LocalName(), "r");
  EXPECT_EQ(Or(root->FindNamespace("")), "urn:default");
  EXPECT_EQ(Or(root->FindNamespace("k")), "urn:k");
  EXPECT_EQ(Or(root->FindAttribute("xmlnsx")), "<none>");
  EXPECT_EQ(Or(root->FindAttribute("xmlns:")), "<none>");
  EXPECT_EQ(Or(root->FindAttribute("b")), "3");
  EXPECT_EQ(root->AttributeNames(), (std::vector<std::string>{"b", "a"}));
  ASSERT_EQ(root->Content().size(), 2u);
  EXPECT_EQ(root->FindChild("item", "k"), static_cast<const XmlNodeElement&>(*root->Content()[0]).Node());
  EXPECT_EQ(root->FindChild("item"), static_cast<const XmlNodeElement&>(*root->Content()[1]).Node());
}

TEST(XmlReader, RecursiveSearchIsDepthFirst) {
  XmlReader reader;
  const auto root = reader.Parse("<r><a><b><x id=\"deep\"/></b></a><x id=\"shallow\"/><c><x id=\"late\"/></c></r>");
  ASSERT_NE(root, nullptr);
  ASSERT_NE(root->FindChild("x"), nullptr);
  EXPECT_EQ(Or(root->FindChild("x")->FindAttribute("id")), "shallow");
  ASSERT_NE(root->FindChild("x", "", true), nullptr);
  EXPECT_EQ(Or(root->FindChild("x", "", true)->FindAttribute("id")), "deep");
  EXPECT_EQ(root->FindChild("missing", "", true), nullptr);
}

TEST(XmlReader, FailedParseKeepsNothingAndReaderStaysUsable) {
  XmlReader reader;
  EXPECT_EQ(reader.Parse("<root><version>1</version><description>x</root>"), nullptr);
  EXPECT_EQ(reader.Parse(std::string(100000, '<')), nullptr);
  const auto root = reader.Parse("<ok/>");
  ASSERT_NE(root, nullptr);
  EXPECT_EQ(root->LocalName(), "ok");
  EXPECT_TRUE(root->Content().empty());
}

}  // namespace
}  // namespace korvex

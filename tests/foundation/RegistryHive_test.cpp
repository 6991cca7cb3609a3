#include "foundation/RegistryHive.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

constexpr const char* kRoot = "HKEY_CURRENT_USER";

TEST(RegistryHive, RoundTripsEscapesEmptyNamesAndUtf8) {
  RegistryHive hive(kRoot);
  const std::string tricky = "C:\\dir\\\"quoted\" \xE4\xB8\xAD\xE6\x96\x87 \\\\ end\\";
  hive.Set("A\\B", "name \"with\" \\ quotes", RegistryValue::String(tricky));
  hive.Set("A\\B", "", RegistryValue::String("default value"));
  hive.Set("A\\B", "empty", RegistryValue::String(""));
  hive.Set("A", "max", RegistryValue::Dword(0xFFFFFFFFu));
  RegistryHive back(kRoot);
  ASSERT_TRUE(back.Parse(hive.Serialize()));
  EXPECT_EQ(back.Serialize(), hive.Serialize());
  ASSERT_NE(back.Find("A\\B", "name \"with\" \\ quotes"), nullptr);
  EXPECT_EQ(back.Find("A\\B", "name \"with\" \\ quotes")->text, tricky);
  EXPECT_EQ(back.Find("A\\B", "")->text, "default value");
  EXPECT_EQ(back.Find("A\\B", "empty")->text, "");
  EXPECT_EQ(back.Find("A", "max")->dword, 0xFFFFFFFFu);
}

TEST(RegistryHive, ReadsHandEditedText) {
  RegistryHive hive(kRoot);
  const std::string text =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; edited by hand\r\n"
      "[hkey_current_user\\Software\\KorvexDataSMB\\common]  \r\n"
      "\"FirstRun\" = DWORD:1f\r\n"
      "\"DisplayBanner\"=\"0\"\r\n"
      "@=\"x\"\r\n"
      "[HKEY_CURRENT_USER\\SOFTWARE\\KorvexDataSMB\\COMMON]\r\n"
      "\"DisplayBanner\"=\"1\"";  // later duplicate wins, no final line end
  std::string error;
  ASSERT_TRUE(hive.Parse(text, &error)) << error;
  EXPECT_EQ(hive.Find("SOFTWARE\\KorvexDataSMB\\common", "FirstRun")->dword, 0x1Fu);
  EXPECT_EQ(hive.Find("SOFTWARE\\KorvexDataSMB\\common", "DisplayBanner")->text, "1");
  EXPECT_EQ(hive.Find("SOFTWARE\\KorvexDataSMB\\common", "")->text, "x");

  RegistryHive blank(kRoot);
  EXPECT_TRUE(blank.Parse("\n  \n; only a comment\n")) << "blank text is an empty hive, not a corrupt one";
  EXPECT_TRUE(blank.Empty());
}

TEST(RegistryHive, SkipsAMalformedLineAndKeepsEveryOtherValue) {
  struct Case { const char* name; const char* text; const char* error; };
  const std::string h = "Windows Registry Editor Version 5.00\n";
  const Case cases[] = {
      {"value before key", "\"a\"=\"b\"\n", "line 2: value before any key"},
      {"other hive", "[HKEY_LOCAL_MACHINE\\A]\n\"lost\"=\"x\"\n", "line 2: key outside"},
      {"bare root", "[HKEY_CURRENT_USER]\n", "line 2: key outside"},
      {"open bracket", "[HKEY_CURRENT_USER\\A\n\"lost\"=\"x\"\n", "line 2: key header"},
      {"empty segment", "[HKEY_CURRENT_USER\\A\\\\B]\n", "line 2: malformed key"},
      {"unterminated name", "[HKEY_CURRENT_USER\\A]\n\"a=\"b\"\n", "line 3: expected '='"},
      {"bad escape in name", "[HKEY_CURRENT_USER\\A]\n\"a\\n\"=\"b\"\n", "line 3: unknown escape"},
      {"missing equals", "[HKEY_CURRENT_USER\\A]\n\"a\" \"b\"\n", "line 3: expected '='"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegistryHive hive(kRoot);
    std::string error;
    ASSERT_TRUE(hive.Parse(h + c.text + "[HKEY_CURRENT_USER\\Kept]\n\"v\"=dword:00000007\n", &error));
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    ASSERT_NE(hive.Find("Kept", "v"), nullptr);
    EXPECT_EQ(hive.Find("Kept", "v")->dword, 7u);
    EXPECT_EQ(hive.Find("Kept", "lost"), nullptr) << "a bad key's values went to another key";
  }

  // Without the export header the text is no hive: the content stays.
  RegistryHive hive(kRoot);
  hive.Set("Kept", "v", RegistryValue::Dword(7));
  std::string error;
  EXPECT_FALSE(hive.Parse("[HKEY_CURRENT_USER\\A]\n", &error));
  EXPECT_EQ(error.rfind("line 1: missing", 0), 0u) << error;
  EXPECT_EQ(hive.Find("Kept", "v")->dword, 7u);
}

}  // namespace
}  // namespace korvex

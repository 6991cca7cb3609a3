// The published description against the installed file's version marker.

#include "update/UpdateDescription.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/VersionMarker.h"
#include "support/TempHome.h"

namespace korvex {
namespace {

TEST(UpdateDescription, ParsesAndComparesPublishedVersions) {
  const FileVersion installed = PackVersion(1, 2, 2, 22);
  struct Case {
    const char* xml;
    HRESULT parsed;
    bool newer;
    const char* description;
  };
  const Case cases[] = {
      {"<root><version>1.2.2.23</version><description>Faster</description></root>", S_OK, true, "Faster"},
      {"<root><version>1.2.2.22</version><description>x</description></root>", S_OK, false, "x"},
      {"<root><version>1.2.2.21</version></root>", S_OK, false, ""},
      // A later part never outweighs an earlier one.
      {"<root><version>1.2.1.65535</version></root>", S_OK, false, ""},
      {"<root><version>2.0.0.0</version></root>", S_OK, true, ""},
      {"<ROOT><version> 1.2.2.23\n</version></ROOT>", S_OK, true, ""},
      {"<Root><description>\xE4\xB8\xAD</description><version>1.3.0.0</version></Root>", S_OK, true, "\xE4\xB8\xAD"},
      {"<root><version>1.2</version></root>", E_INVALIDARG, false, ""},
      {"<root><version>1.2.3.4.5</version></root>", E_INVALIDARG, false, ""},
      // Would spill into the next part and look newer than it is.
      {"<root><version>1.2.2.65536</version></root>", E_INVALIDARG, false, ""},
      {"<root><version>1.2.-2.23</version></root>", E_INVALIDARG, false, ""},
      {"<root><version>1.2.2.23x</version></root>", E_INVALIDARG, false, ""},
      {"<update><version>1.2.2.23</version></update>", E_INVALIDARG, false, ""},
      {"<root><description>no version</description></root>", E_INVALIDARG, false, ""},
      {"<root><version>1.2.2.23</version>", E_INVALIDARG, false, ""},
      {"", E_INVALIDARG, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xml);
    UpdateDescription out;
    ASSERT_EQ(ParseUpdateDescription(c.xml, out), c.parsed);
    if (Failed(c.parsed)) continue;
    EXPECT_EQ(out.version > installed, c.newer);
    EXPECT_EQ(out.description, c.description);
    EXPECT_EQ(out.versionText, FormatVersion(out.version));
  }
}

TEST(UpdateDescription, PicksThePublishedDigestOfEachFile) {
  const std::string a(64, 'a'), b(64, 'b'), upper(64, 'C');
  UpdateDescription out;
  ASSERT_EQ(ParseUpdateDescription("<root><version>1.0.0.2</version><sha256 file=\"korvex.bin\">" + a +
                                       "</sha256><sha256>\n " + upper + " </sha256><sha256 file=\"gui.bin\">" + b +
                                       "</sha256></root>",
                                   out),
            S_OK);
  ASSERT_NE(PublishedSha256(out, "korvex.bin"), nullptr);
  EXPECT_EQ(*PublishedSha256(out, "korvex.bin"), a);
  EXPECT_EQ(*PublishedSha256(out, "gui.bin"), b);
  // One without a file name stands for any other file, in lower case.
  EXPECT_EQ(*PublishedSha256(out, "other.so"), std::string(64, 'c'));
  ASSERT_EQ(ParseUpdateDescription("<root><version>1.0.0.2</version></root>", out), S_OK);
  EXPECT_EQ(PublishedSha256(out, "korvex.bin"), nullptr);
  for (const std::string& bad : {std::string(63, 'a'), std::string(64, 'g'), std::string(65, 'a')}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(ParseUpdateDescription("<root><version>1.0.0.2</version><sha256>" + bad + "</sha256></root>", out),
              E_INVALIDARG);
  }
}

class FileVersionTest : public testing::TempHomeTest {};

TEST_F(FileVersionTest, FindsTheMarkerWhereverItLies) {
  using namespace std::string_literals;
  FileVersion running = 0;
  ASSERT_TRUE(ParseVersion(ProgramVersion(), running));
  FileVersion found = 0;
  ASSERT_EQ(QueryFileVersion("/proc/self/exe", found), S_OK);
  EXPECT_EQ(found, running);

  // Built at run time: as a literal it would be a marker of this test
  // program, found before its real one.
  const std::string prefix(kVersionMarkerPrefix);
  const std::string marker = prefix + "3.4.5.6";
  struct Case {
    std::string content;
    HRESULT status;
  };
  const Case cases[] = {
      // Cut by the 1 MiB boundary of the scan.
      {std::string((1 << 20) - 10, 'x') + marker + '\0', S_OK},
      // A bare prefix (as a program's own code holds it) before the real one.
      {prefix + "\0zz"s + marker + '\0' + "tail", S_OK},
      {prefix + "3.4\0"s, E_FAIL},
      {"no marker at all", E_FAIL},
  };
  const std::filesystem::path file = Home() / "binary";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content.size());
    testing::WriteText(file, c.content);
    found = 0;
    ASSERT_EQ(QueryFileVersion(file, found), c.status);
    if (c.status == S_OK) {
      EXPECT_EQ(found, PackVersion(3, 4, 5, 6));
    }
  }
  EXPECT_EQ(QueryFileVersion(Home() / "missing", found), HR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace korvex

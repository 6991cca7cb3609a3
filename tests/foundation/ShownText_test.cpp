#include "foundation/ShownText.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

TEST(ShownText, EscapesWhatATerminalWouldObeyAndKeepsTheRest) {
  struct Case { std::string in, out; } cases[] = {
      {"plain name.txt", "plain name.txt"},
      {"\xE4\xB8\xAD\xE6\x96\x87.doc", "\xE4\xB8\xAD\xE6\x96\x87.doc"},       // Chinese stays
      {"a\x1B[2Kb", "a\\x1B[2Kb"},                                           // ESC
      {"bell\x07", "bell\\x07"},
      {"x\r\nLogged in as root", "x\\r\\nLogged in as root"},               // forged line
      {"tab\there", "tab\\there"},
      {"del\x7F", "del\\x7F"},
      {"c1 \xC2\x9B" "31m", "c1 \\xC2\\x9B31m"},                             // 8-bit CSI
      {"bad \xFF\xC3", "bad \\xFF\\xC3"},                                    // invalid and cut UTF-8
      {"overlong \xC0\xAF", "overlong \\xC0\\xAF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    EXPECT_EQ(ShownText(c.in), c.out);
    EXPECT_EQ(NeedsEscaping(c.in), c.in != c.out);
  }
}

}  // namespace
}  // namespace korvex

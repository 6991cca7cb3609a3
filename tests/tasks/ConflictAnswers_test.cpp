// The names a file takes when the user keeps both, and the answers the
// conflict dialog stores.

#include "tasks/ConflictAnswers.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

TEST(ConflictAnswers, NumberedNamesKeepTheExtensionAndTheLockMark) {
  struct Case {
    const char* name;
    int n;
    const char* expected;
  } cases[] = {
      {"report.pdf", 2, "report (2).pdf"},
      {"report.pdf", 1, "report.pdf"},
      {"archive.tar.gz", 3, "archive.tar (3).gz"},
      {"README", 2, "README (2)"},
      {".profile", 2, ".profile (2)"},
      {"notes.txt.lock", 2, "notes (2).txt.lock"},
      {"notes.txt.LOCK", 2, "notes (2).txt.LOCK"},
      {".lock", 2, ".lock (2)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NumberedName(c.name, c.n), c.expected);
  }
  EXPECT_EQ(ConflictAnswerFor(ConflictChoice::kReplace, false), 1u);
  EXPECT_EQ(ConflictAnswerFor(ConflictChoice::kReplace, true), 2u);
  EXPECT_EQ(ConflictAnswerFor(ConflictChoice::kSkip, false), 3u);
  EXPECT_EQ(ConflictAnswerFor(ConflictChoice::kSkip, true), 4u);
  EXPECT_EQ(ConflictAnswerFor(ConflictChoice::kKeepBoth, true), 6u);
  EXPECT_EQ(ConflictAnswerFor(ConflictChoice::kKeepBoth, false), 7u);
}

}  // namespace
}  // namespace korvex

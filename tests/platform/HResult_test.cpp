#include "platform/HResult.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

TEST(HResult, FromWin32AndHttpNumbers) {
  EXPECT_EQ(HResultFromWin32(2), HR_FILE_NOT_FOUND);
  EXPECT_EQ(HResultFromWin32(0x12345), MakeHResult(0x80072345u)) << "only the low sixteen bits are kept";
  // Zero and values that already are failure codes pass unchanged.
  EXPECT_EQ(HResultFromWin32(0), S_OK);
  EXPECT_EQ(HResultFromWin32(E_FAIL), E_FAIL);
  EXPECT_EQ(HResultFromHttp(404), MakeHResult(0x804F0194u));
  EXPECT_EQ(HResultFromHttp(12002), MakeHResult(0x804F2EE2u));
  EXPECT_TRUE(Failed(HResultFromHttp(204)));
  EXPECT_TRUE(Succeeded(S_FALSE));
}

}  // namespace
}  // namespace korvex

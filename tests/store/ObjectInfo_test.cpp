//===- tests/store/ObjectInfo_test.cpp ------------------------------------===//

#include "store/ObjectInfo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace korvex {
namespace {

// Tags are boost::any values: a copy must own its own value, so that a
// listing copied to another thread is not changed under it.
TEST(ObjectInfo, CopiesCloneTheTags) {
  ContainerInfo original;
  original.uri = "/a/";
  original.kind = kContainerShared;
  original.reservedFlag = true;
  original.tag = std::uint64_t{12};

  ContainerInfo copy = original;
  original.tag = std::string("changed");
  ASSERT_NE(boost::any_cast<std::uint64_t>(&copy.tag), nullptr);
  EXPECT_EQ(boost::any_cast<std::uint64_t>(copy.tag), 12u);
  EXPECT_EQ(copy.uri, "/a/");
  EXPECT_EQ(copy.kind, kContainerShared);
  EXPECT_TRUE(copy.reservedFlag);
  EXPECT_EQ(static_cast<const ObjectInfo&>(copy).kind, kObjectContainer);

  ItemInfo item;
  item.extraTag = std::string("token");
  item.linkTag = std::uint64_t{5};
  ItemInfo assigned;
  assigned = item;
  boost::any_cast<std::string&>(item.extraTag) = "other";
  EXPECT_EQ(boost::any_cast<std::string>(assigned.extraTag), "token");
  EXPECT_EQ(boost::any_cast<std::uint64_t>(assigned.linkTag), 5u);
  EXPECT_EQ(assigned.kind, kObjectItem);
}

}  // namespace
}  // namespace korvex

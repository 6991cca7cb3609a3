//===- tests/store/ObjectInfo_test.cpp ------------------------------------===//

#include "store/ObjectInfo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

namespace korvex {
namespace {

TEST(ObjectInfo, DefaultsOfEveryRecord) {
  ContainerInfo container;
  EXPECT_EQ(static_cast<const ObjectInfo&>(container).kind, kObjectContainer);
  EXPECT_TRUE(container.refreshable);
  EXPECT_EQ(container.kind, kContainerOrdinary);
  EXPECT_EQ(container.privilege, 0xFFFFu);
  EXPECT_EQ(container.smallIcon, -1);
  EXPECT_EQ(container.openIcon, -1);
  EXPECT_EQ(container.reservedValue, 0u);
  EXPECT_FALSE(container.reservedFlag);
  EXPECT_TRUE(container.tag.empty());
  EXPECT_TRUE(container.uri.empty());

  ItemInfo item;
  EXPECT_EQ(item.kind, kObjectItem);
  EXPECT_EQ(item.size, 0u);
  EXPECT_EQ(item.modifyTime, 0u);
  EXPECT_EQ(item.createTime, 0u);
  EXPECT_EQ(item.locked, 0u);
  EXPECT_EQ(item.stateFlag, 0u);
  EXPECT_EQ(item.partial, 0u);
  EXPECT_TRUE(item.tag.empty());
  EXPECT_TRUE(item.extraTag.empty());
  EXPECT_TRUE(item.linkTag.empty());

  BuddyInfo buddy;
  EXPECT_EQ(buddy.kind, kObjectBuddy);
  EXPECT_EQ(buddy.privilege, 0u);
  BuddyInfoEx share;
  EXPECT_EQ(share.kind, kObjectBuddyEx);
  EXPECT_EQ(share.buddy.kind, kObjectBuddy);
  EXPECT_TRUE(share.tag.empty());
}

TEST(ObjectInfo, CopiesCloneTheTags) {
  ContainerInfo original;
  original.name = "a";
  original.uri = "/a/";
  original.kind = kContainerShared;
  original.reservedValue = 77;
  original.reservedFlag = true;
  original.tag = std::uint64_t{12};

  ContainerInfo copy = original;
  original.tag = std::string("changed");
  ASSERT_NE(boost::any_cast<std::uint64_t>(&copy.tag), nullptr);
  EXPECT_EQ(boost::any_cast<std::uint64_t>(copy.tag), 12u);
  EXPECT_EQ(copy.uri, "/a/");
  EXPECT_EQ(copy.kind, kContainerShared);
  EXPECT_EQ(copy.reservedValue, 77u);
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
}

TEST(ObjectInfo, OwnedThroughBasePointerKeepsItsKind) {
  std::unique_ptr<ObjectInfo> records[] = {std::make_unique<ContainerInfo>(),
                                           std::make_unique<ItemInfo>(),
                                           std::make_unique<BuddyInfoEx>()};
  EXPECT_NE(dynamic_cast<ContainerInfo*>(records[0].get()), nullptr);
  EXPECT_EQ(records[1]->kind, kObjectItem);
  EXPECT_EQ(records[2]->kind, kObjectBuddyEx);
}

}  // namespace
}  // namespace korvex

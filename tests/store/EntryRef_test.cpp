//===- tests/store/EntryRef_test.cpp - Owning slots and cache entries -----===//

#include "store/EntryRef.h"
#include "store/Object.h"

#include <gtest/gtest.h>

#include <utility>

namespace korvex {
namespace {

/// Counts its destructions so that a test can tell "deleted once" from
/// "leaked" or "deleted twice".
struct Tracked {
  explicit Tracked(int* deletions) : deletions(deletions) {}
  ~Tracked() { ++*deletions; }
  int* deletions;
};

TEST(EntryRef, OwnsExactlyOneObjectUntilMovedOrDetached) {
  int firstGone = 0;
  int secondGone = 0;
  {
    EntryRef<Tracked> slot;
    EXPECT_FALSE(slot.present());
    slot = new Tracked(&firstGone);
    auto* second = new Tracked(&secondGone);
    slot = second;
    EXPECT_EQ(firstGone, 1);
    slot = second;  // reassigning the held object keeps it
    EXPECT_EQ(secondGone, 0);
    EXPECT_EQ(slot.get(), second);

    EntryRef<Tracked> moved(std::move(slot));
    EXPECT_FALSE(slot.present());
    EntryRef<Tracked> other;
    other = std::move(moved);
    EXPECT_FALSE(moved.present());
    Tracked* raw = other.Detach();
    EXPECT_FALSE(other.present());
    EXPECT_EQ(secondGone, 0);
    other = raw;
    other = nullptr;
    EXPECT_EQ(secondGone, 1);
    EXPECT_EQ(other.get(), nullptr);
    other = new Tracked(&firstGone);
  }
  EXPECT_EQ(firstGone, 2);
  EXPECT_EQ(secondGone, 1);
}

// Live entries that count their destructions; Object's virtual destructor
// lets the owning slots delete them through base pointers.
struct CountedItem : Item {
  explicit CountedItem(int* deletions) : deletions(deletions) {}
  ~CountedItem() override { ++*deletions; }
  int* deletions;
};
struct CountedContainer : Container {
  explicit CountedContainer(int* deletions) : deletions(deletions) {}
  ~CountedContainer() override { ++*deletions; }
  int* deletions;
};

TEST(ContainerChildren, DestroyingAContainerDeletesItsWholeListingOnce) {
  int containersGone = 0;
  int itemsGone = 0;
  auto* root = new CountedContainer(&containersGone);
  root->children = new ContainerChildren;
  auto* sub = new CountedContainer(&containersGone);
  root->children->containers.push_back(new EntryRef<Container>(sub));
  sub->children = new ContainerChildren;
  sub->children->items.push_back(new EntryRef<Item>(new CountedItem(&itemsGone)));
  sub->children->items.push_back(new EntryRef<Item>());  // position not fetched yet
  sub->children->items.push_back(new EntryRef<Item>(new CountedItem(&itemsGone)));

  // Dropping a listing (as a refresh does) deletes the subtree but keeps
  // the container itself.
  root->children->containers.front()->get()->children.Reset();
  EXPECT_EQ(itemsGone, 2);
  EXPECT_EQ(containersGone, 0);
  sub->children = new ContainerChildren;
  sub->children->items.push_back(new EntryRef<Item>(new CountedItem(&itemsGone)));

  delete root;
  EXPECT_EQ(containersGone, 2);
  EXPECT_EQ(itemsGone, 3) << "the whole tree goes with its root";
}

}  // namespace
}  // namespace korvex

//===- store/Object.h - Live cache entries ----------------------*- C++ -*-===//
///
/// The entries that a store's cache owns: a Container (a directory with its
/// listing, once fetched) and an Item (a file). Each embeds one descriptive
/// record. Entries are not copyable, because a Container owns its subtree.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "store/EntryRef.h"
#include "store/ObjectInfo.h"

#include <vector>

namespace korvex {

struct ContainerChildren;

class Object {
 public:
  virtual ~Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  /// kObjectContainer or kObjectItem; fixed by the subclass.
  ObjectKind kind;

 protected:
  explicit Object(ObjectKind objectKind) noexcept : kind(objectKind) {}
};

class Container : public Object {
 public:
  Container() noexcept : Object(kObjectContainer) {}
  ~Container() override;

  ContainerInfo info;
  /// Absent until the container has been listed.
  EntryRef<ContainerChildren> children;
};

class Item : public Object {
 public:
  Item() noexcept : Object(kObjectItem) {}

  ItemInfo info;
};

/// The listing of one container. Owns every slot and every slot's entry.
struct ContainerChildren {
  ContainerChildren() = default;
  ~ContainerChildren();
  ContainerChildren(const ContainerChildren&) = delete;
  ContainerChildren& operator=(const ContainerChildren&) = delete;

  /// Sub-containers in the order the back end listed them.
  std::vector<EntryRef<Container>*> containers;
  /// One slot per item the back end counted; slot i holds the i-th item once
  /// a page containing it has been fetched, and is empty until then.
  std::vector<EntryRef<Item>*> items;
};

}  // namespace korvex

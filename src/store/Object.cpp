//===- store/Object.cpp - Live cache entries ------------------------------===//

#include "store/Object.h"

namespace korvex {

// Defined here, where ContainerChildren is complete, so that the owning slot
// can delete it.
Container::~Container() = default;

ContainerChildren::~ContainerChildren() {
  for (EntryRef<Container>* slot : containers) delete slot;
  for (EntryRef<Item>* slot : items) delete slot;
}

}  // namespace korvex

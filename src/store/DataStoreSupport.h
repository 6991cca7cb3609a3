//===- store/DataStoreSupport.h - Helpers of the DataStore sources -*- C++ -*-===//
///
/// Internal to DataStore*.cpp: the exception boundary and the ownership
/// moves between payloads and cache slots, written once so that no path
/// leaks a record handed out by a back end.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "store/Object.h"

#include <memory>
#include <string>
#include <vector>

namespace korvex {

/// Runs `body`; any exception becomes `fallback`. Operations of a store
/// return status codes, so nothing may escape them.
template <class R, class Body>
R Guarded(R fallback, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}

template <class T>
using OwnedList = std::vector<std::unique_ptr<T>>;

/// Takes ownership of a payload's vector and of every object in it.
template <class T>
OwnedList<T> TakeOwnership(std::vector<T*>* objects) {
  std::unique_ptr<std::vector<T*>> vector(objects);
  OwnedList<T> owned;
  if (!vector) return owned;
  try {
    owned.reserve(vector->size());
  } catch (...) {
    for (T* object : *vector) delete object;
    throw;
  }
  for (T* object : *vector) owned.emplace_back(object);
  return owned;
}

/// Appends a new slot holding `object` (which may be null: an item whose
/// page has not been fetched).
template <class T>
void AppendSlot(std::vector<EntryRef<T>*>& slots, std::unique_ptr<T> object) {
  auto slot = std::make_unique<EntryRef<T>>();
  slots.push_back(slot.get());
  slot.release()->Assign(object.release());
}

/// Removes and deletes the first filled slot whose entry is named `name`.
template <class T>
bool RemoveSlotNamed(std::vector<EntryRef<T>*>& slots, const std::string& name) {
  for (auto it = slots.begin(); it != slots.end(); ++it) {
    if ((*it)->present() && (**it)->info.name == name) {
      std::unique_ptr<EntryRef<T>> gone(*it);
      slots.erase(it);
      return true;
    }
  }
  return false;
}

/// The filled slot whose entry is named `name`, or null.
template <class T>
EntryRef<T>* SlotNamed(const std::vector<EntryRef<T>*>& slots, const std::string& name) {
  for (EntryRef<T>* slot : slots) {
    if (slot->present() && (*slot)->info.name == name) return slot;
  }
  return nullptr;
}

/// Moves every cached descendant of `container` from the address prefix
/// `oldUri` to the container's current `uri`.
void Readdress(Container& container, const std::string& oldUri);

}  // namespace korvex

//===- store/EntryRef.h - Owning slot of one cache entry --------*- C++ -*-===//
///
/// A slot of the store cache that owns at most one heap object. An empty slot
/// is meaningful: it marks an item position whose page has not been fetched.
/// Records handed out by a back end arrive as raw pointers and become owned
/// the moment they are assigned into a slot.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <utility>

namespace korvex {

template <class T>
class EntryRef {
 public:
  EntryRef() noexcept = default;
  /// Takes ownership of `object` (may be null).
  explicit EntryRef(T* object) noexcept : present_(object != nullptr), pointer_(object) {}
  ~EntryRef() { Reset(); }

  EntryRef(const EntryRef&) = delete;
  EntryRef& operator=(const EntryRef&) = delete;
  EntryRef(EntryRef&& other) noexcept : present_(other.present_), pointer_(other.Detach()) {}
  EntryRef& operator=(EntryRef&& other) noexcept {
    if (this != &other) Assign(other.Detach());
    return *this;
  }

  /// Deletes the held object, then owns `object`. Assigning the object that
  /// is already held keeps it (deleting it first would leave the slot
  /// pointing at freed memory).
  void Assign(T* object) {
    if (object != nullptr && object == pointer_) return;
    T* old = pointer_;
    // Empty the slot before deleting, so a destructor that looks back at the
    // cache never sees a dangling entry.
    present_ = false;
    pointer_ = nullptr;
    delete old;
    pointer_ = object;
    present_ = object != nullptr;
  }
  EntryRef& operator=(T* object) {
    Assign(object);
    return *this;
  }

  /// Deletes the held object and empties the slot.
  void Reset() { Assign(nullptr); }

  /// Gives up ownership without deleting; the slot becomes empty.
  [[nodiscard]] T* Detach() noexcept {
    T* held = pointer_;
    present_ = false;
    pointer_ = nullptr;
    return held;
  }

  [[nodiscard]] bool present() const noexcept { return present_; }
  [[nodiscard]] T* get() const noexcept { return pointer_; }
  T* operator->() const noexcept { return pointer_; }
  T& operator*() const noexcept { return *pointer_; }
  explicit operator bool() const noexcept { return present_; }

 private:
  bool present_ = false;
  T* pointer_ = nullptr;
};

}  // namespace korvex

//===- store/ReferenceCounter.h - Interlocked reference count ---*- C++ -*-===//
///
/// Base of objects that several threads hold at once (the asynchronous call
/// results): whoever holds a pointer owns one reference and gives it back with
/// Release(); the last Release() deletes the object through its virtual
/// destructor. Objects are created with one reference for their creator.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <cassert>
#include <cstdint>

namespace korvex {

class ReferenceCounter {
 public:
  ReferenceCounter() = default;
  ReferenceCounter(const ReferenceCounter&) = delete;
  ReferenceCounter& operator=(const ReferenceCounter&) = delete;

  /// Adds one reference and returns the new count. The caller must already
  /// hold a reference (there is no way back from zero).
  std::int32_t AddRef() noexcept {
    return count_.fetch_add(1, std::memory_order_relaxed) + 1;
  }

  /// Gives back one reference and returns the new count; at zero the object
  /// is deleted and must not be touched again.
  std::int32_t Release() noexcept {
    // acq_rel: every holder's writes happen-before the deleting thread runs
    // the destructor.
    const std::int32_t left = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    assert(left >= 0 && "ReferenceCounter released more often than referenced");
    if (left == 0) delete this;
    return left;
  }

  /// Current count; only meaningful to diagnostics and tests.
  [[nodiscard]] std::int32_t RefCount() const noexcept {
    return count_.load(std::memory_order_acquire);
  }

 protected:
  /// Only Release() deletes, so nobody can destroy an object that others
  /// still hold.
  virtual ~ReferenceCounter() = default;

 private:
  std::atomic<std::int32_t> count_{1};
};

}  // namespace korvex

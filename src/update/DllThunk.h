//===- update/DllThunk.h - A shared object loaded at run time ---*- C++ -*-===//
#pragma once

#include <string>

namespace korvex {

/// Owns one dlopen handle; destruction unloads it.
class DllThunk {
 public:
  DllThunk() = default;
  virtual ~DllThunk();
  DllThunk(const DllThunk&) = delete;
  DllThunk& operator=(const DllThunk&) = delete;

  /// Unloads any earlier library, then loads `path` (with a "/") or a name
  /// found by the dynamic loader's search. False, with the loader's reason in
  /// LastError(), when it cannot be loaded.
  [[nodiscard]] bool Load(const std::string& path);
  virtual void Unload();
  [[nodiscard]] bool IsLoaded() const { return handle_ != nullptr; }
  [[nodiscard]] const std::string& LastError() const { return lastError_; }

 protected:
  /// The address of `name` in the loaded library, or null.
  [[nodiscard]] void* Symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
  std::string lastError_;
};

}  // namespace korvex

//===- update/DllThunk.cpp - A shared object loaded at run time -----------===//

#include "update/DllThunk.h"

#include <dlfcn.h>

namespace korvex {

DllThunk::~DllThunk() { DllThunk::Unload(); }

bool DllThunk::Load(const std::string& path) {
  Unload();
  // RTLD_LOCAL keeps the module's copies of our libraries from answering
  // for the program's own symbols.
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = ::dlerror();
    lastError_ = reason != nullptr ? reason : "cannot load " + path;
    return false;
  }
  lastError_.clear();
  return true;
}

void DllThunk::Unload() {
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
}

void* DllThunk::Symbol(const char* name) const { return handle_ != nullptr ? ::dlsym(handle_, name) : nullptr; }

}  // namespace korvex

// Writers and completion of an upload, kept apart.
#include "WriteGate.h"

namespace korvexd {

bool WriteGate::Enter(std::int64_t fileId) {
  std::lock_guard lock(mutex_);
  if (completing_.count(fileId) != 0) return false;
  ++writers_[fileId];
  return true;
}

void WriteGate::Leave(std::int64_t fileId) {
  std::lock_guard lock(mutex_);
  auto it = writers_.find(fileId);
  if (it != writers_.end() && --it->second == 0) writers_.erase(it);
}

bool WriteGate::BeginCompletion(std::int64_t fileId) {
  std::lock_guard lock(mutex_);
  if (writers_.count(fileId) != 0 || completing_.count(fileId) != 0) return false;
  completing_.insert(fileId);
  return true;
}

void WriteGate::EndCompletion(std::int64_t fileId) {
  std::lock_guard lock(mutex_);
  completing_.erase(fileId);
}

}  // namespace korvexd

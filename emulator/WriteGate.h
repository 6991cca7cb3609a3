// Keeps the contents of an upload and its completion apart: bytes are
// written into a file only while its upload is open, and an upload completes
// only while nothing is being written into it, so a finished file never
// changes under a late or cut-off request.
//
//   open --Enter/Leave (any number of writers)--> open
//     |  BeginCompletion (no writer inside)
//     v
//   completing --EndCompletion--> open (the database now says whether it is complete)
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <set>

namespace korvexd {

class WriteGate {
 public:
  /// A writer comes in; false while the file's upload is being completed.
  [[nodiscard]] bool Enter(std::int64_t fileId);
  void Leave(std::int64_t fileId);
  /// Closes the gate to writers; false (and nothing closed) while one is inside.
  [[nodiscard]] bool BeginCompletion(std::int64_t fileId);
  void EndCompletion(std::int64_t fileId);

 private:
  std::mutex mutex_;
  std::map<std::int64_t, int> writers_;
  std::set<std::int64_t> completing_;
};

}  // namespace korvexd

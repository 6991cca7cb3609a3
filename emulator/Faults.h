// Fault injection for tests: bounded misbehaviour of chosen requests.
//
// A fault is written as one text, the same on the command line
// ("--fault TEXT") and on the admin endpoint (POST /admin/faults):
//   KIND[=VALUE],path=REGEX[,nth=N][,count=C][,ttl=SECONDS]
// KIND is one of
//   delay=MS     answer after MS milliseconds (at most 30000)
//   http=STATUS  answer with that HTTP status and no handling
//   stream=CODE  answer with "x-korvexws-idt-status: code=CODE"
//   cut=BYTES    send only the first BYTES bytes of the body (default half)
//   close=BYTES  announce the full body, send BYTES (default half), then close
//   badmd5       report a wrong stream MD5 on the matching close
// The fault fires on the Nth matching request (default 1) and on the C-1
// matching requests after it (default C=1), and expires after ttl seconds
// (default 300), so a test cannot make the service misbehave forever.
// REGEX is a POSIX extended expression searched in the request path.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace korvexd {

struct CompiledPattern;

enum class FaultKind { kDelay, kHttp, kStream, kCut, kClose, kBadMd5 };

struct Fault {
  FaultKind kind = FaultKind::kHttp;
  std::int64_t value = -1;  // -1: the kind's default
  std::string pattern;
  std::shared_ptr<const CompiledPattern> regex;
  int nth = 1;
  int count = 1;
  std::chrono::steady_clock::time_point expires;
  int seen = 0;
  int fired = 0;
};

/// When a fault applies relative to the route's own work.
enum class FaultPhase { kBefore, kAfter };

class Faults {
 public:
  /// Parses and adds a fault; on a bad text returns false and sets error.
  bool Add(const std::string& spec, std::string& error);
  void Clear();
  /// The faults of the phase that fire for this request path, counting the
  /// match against every fault of that phase.
  std::vector<Fault> Take(const std::string& path, FaultPhase phase);
  nlohmann::json List() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Fault> faults_;
};

}  // namespace korvexd

// What the transfer tests share against korvexd: file contents that show a
// byte in the wrong place, the faults of its admin endpoint, and for tests
// that run the korvex binary a private home whose service addresses point at
// a korvexd of its own. Header-only, like the launcher it builds on.
#pragma once

#include "support/KorvexdProcess.h"
#include "support/TempHome.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace korvex::test {

/// `size` bytes that differ with `seed` and along the file, so that a block
/// sent twice, swapped or dropped changes the result.
inline std::string Pattern(std::size_t size, unsigned seed) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 2654435761u + seed) >> 11);
  return data;
}

/// Adds a fault ("KIND[=VALUE],path=REGEX[,...]") to a running korvexd.
inline bool AddKorvexdFault(const KorvexdProcess& korvexd, const std::string& fault) {
  httplib::Client client(korvexd.BaseUrl());
  const auto answer = client.Post("/admin/faults", fault, "text/plain");
  return answer && answer->status == 200;
}

inline bool ClearKorvexdFaults(const KorvexdProcess& korvexd) {
  httplib::Client client(korvexd.BaseUrl());
  const auto answer = client.Post("/admin/faults/clear", "", "text/plain");
  return answer && answer->status == 200;
}

/// How many requests the fault on `path` (its REGEX as given) has seen; -1
/// when there is no such fault. A fault that never fires counts requests.
inline int KorvexdFaultSeen(const KorvexdProcess& korvexd, const std::string& path) {
  httplib::Client client(korvexd.BaseUrl());
  const auto answer = client.Get("/admin/faults");
  if (!answer || answer->status != 200) return -1;
  const nlohmann::json listing = nlohmann::json::parse(answer->body, nullptr, false);
  if (!listing.is_object() || !listing["faults"].is_array()) return -1;
  for (const auto& fault : listing["faults"])
    if (fault["path"] == path) return fault["seen"].get<int>();
  return -1;
}

/// A private KORVEX_HOME with no proxy, and korvexd behind the service
/// addresses that the korvex binary reads from its environment.
class KorvexdTest : public korvex::testing::TempHomeTest {
 protected:
  /// Starts korvexd with `args`; call from SetUp with ASSERT_NO_FATAL_FAILURE.
  void StartKorvexd(const std::vector<std::string>& args) {
    ASSERT_TRUE(korvexd_.Start(args)) << korvexd_.Error();
    for (const char* name : {"KORVEX_WEB_URL", "KORVEX_API_URL", "KORVEX_DATA_URL"})
      env_.push_back(std::make_unique<korvex::testing::ScopedEnv>(name, korvexd_.BaseUrl().c_str()));
  }

  bool AddFault(const std::string& fault) { return AddKorvexdFault(korvexd_, fault); }
  bool ClearFaults() { return ClearKorvexdFaults(korvexd_); }
  /// Stream opens so far, counted by a fault "delay=1,path=^/idtv1/stream/open/"
  /// that never fires.
  int StreamOpens() { return KorvexdFaultSeen(korvexd_, "^/idtv1/stream/open/"); }

  KorvexdProcess korvexd_;
  std::vector<std::unique_ptr<korvex::testing::ScopedEnv>> env_;
};

}  // namespace korvex::test

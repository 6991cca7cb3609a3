// Parsing a 10,000-entry file listing answer: our Spirit grammar next to
// nlohmann/json on the same bytes. Compare the bytes_per_second and
// items_per_second columns of the two rows.

#include "service/JsonParser.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

namespace {

constexpr int kEntries = 10000;

// Shaped like the service's answer to a file listing, with the keys the
// client reads and a few it ignores, names partly non-ASCII and escaped.
const std::string& ListingAnswer() {
  static const std::string answer = [] {
    std::string text = "{\"result\":1,\"total\":" + std::to_string(kEntries) + ",\"list\":[";
    char entry[512];
    for (int i = 0; i < kEntries; ++i) {
      std::snprintf(entry, sizeof entry,
                    "%s{\"fileid\":\"%d\",\"name\":\"%s-%05d.docx\",\"size\":\"%d\","
                    "\"modifytime\":\"2024-03-%02d 12:%02d:%02d\",\"time\":\"2023-11-%02d 08:00:00\","
                    "\"state\":\"0\",\"sec\":\"%d\",\"linkid\":\"%d\",\"ext\":\"docx\",\"md5\":"
                    "\"9E107D9D372BB6826BD81D3542A419D6\",\"thumb\":\"\\/thumb\\/%d.png\",\"ratio\":0.%d}",
                    i == 0 ? "" : ",", 100000 + i, (i % 3 == 0) ? "\xE6\x8A\xA5\xE5\x91\x8A" : "report",
                    i, i * 37 % 10000000, i % 28 + 1, i % 60, (i * 7) % 60, i % 28 + 1, i % 2, i, i, i % 10);
      text += entry;
    }
    text += "]}";
    return text;
  }();
  return answer;
}

void BM_ParseListing_Spirit(benchmark::State& state) {
  const std::string& answer = ListingAnswer();
  for (auto _ : state) {
    korvex::JsonValue doc = korvex::ParseJson(answer);
    if (!doc.IsObject()) {
      state.SkipWithError("listing did not parse");
      break;
    }
    benchmark::DoNotOptimize(doc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kEntries));
}

void BM_ParseListing_Nlohmann(benchmark::State& state) {
  const std::string& answer = ListingAnswer();
  for (auto _ : state) {
    nlohmann::json doc = nlohmann::json::parse(answer);
    benchmark::DoNotOptimize(doc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kEntries));
}

BENCHMARK(BM_ParseListing_Spirit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseListing_Nlohmann)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

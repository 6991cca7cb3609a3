//===- bench/log_bench.cpp - Cost of log calls -----------------------------===//
///
/// A disabled call must cost about one comparison, because callers all over
/// the client log freely at Trace and Debug; an enabled call pays for the
/// formatting, the lock and a flushed write.
///
//===----------------------------------------------------------------------===//

#include "foundation/FileLogger.h"
#include "foundation/LogMgr.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <string>

namespace {

using korvex::LogMgr;

void BM_DisabledWarn(benchmark::State& state) {
  LogMgr& log = LogMgr::Get();
  log.Reset();  // threshold kLogNone
  int value = 0;
  for (auto _ : state) {
    log.Warn("Bench", "value %d of %s", value++, "disabled");
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DisabledWarn);

void BM_EnabledWarnToFile(benchmark::State& state) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("korvex_log_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  LogMgr& log = LogMgr::Get();
  log.Reset();
  log.SetThreshold(korvex::kLogWarn);
  // The limit keeps the file small however long the benchmark runs.
  log.AddLogger(new korvex::FileLogger(dir / "bench.log", korvex::kLogWarn, false, 100000));
  int value = 0;
  for (auto _ : state) log.Warn("Bench", "value %d of %s", value++, "enabled");
  state.SetItemsProcessed(state.iterations());
  log.Reset();
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_EnabledWarnToFile);

}  // namespace

BENCHMARK_MAIN();

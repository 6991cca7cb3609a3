#!/usr/bin/env bash
# korvexd's stream throughput before and after its move off cpp-httplib, in
# one run on the same machine: builds korvexd as it was at the last commit
# with cpp-httplib (once; kept under BUILD_DIR/korvexd-before), then runs
# bench/emulator_bench, which measures that korvexd and the current one with
# the same plain libcurl client and prints both and their ratios.
#   bench/emulator_bench.sh [SIZE_MIB] [BUILD_DIR]     (defaults: 512, build)
set -euo pipefail
cd "$(dirname "$0")/.."
size_mib=${1:-512}
build=${2:-build}
before_commit=72804ce547116f4347053372605861473b93b74f
before=$build/korvexd-before

export CCACHE_BASEDIR="$PWD/$before/src" CCACHE_NOHASHDIR=true
if [ ! -x "$before/build/emulator/korvexd" ]; then
  rm -rf "$before/src"
  mkdir -p "$before/src"
  git archive "$before_commit" | tar -x -C "$before/src"
  cmake -S "$before/src" -B "$before/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVEX_BUILD_TESTS=OFF -DKORVEX_BUILD_BENCH=OFF > /dev/null
  cmake --build "$before/build" -j 2 --target korvexd
fi
export CCACHE_BASEDIR="$PWD"
cmake --build "$build" -j 2 --target korvexd emulator_bench

KORVEXD_BEFORE="$PWD/$before/build/emulator/korvexd" KORVEX_BENCH_MIB=$size_mib \
  "$build/bench/emulator_bench" --benchmark_counters_tabular=true

#!/usr/bin/env bash
# Builds the project and runs the whole test suite.
#   scripts/test.sh                 normal build in build/
#   scripts/test.sh --sanitize      AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap-deps.sh

build=build
extra=()
if [ "${1:-}" = "--sanitize" ]; then
  build=build-asan
  extra=(-DKORVEX_SANITIZE=address,undefined -DKORVEX_BUILD_BENCH=OFF)
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi

# Paths relative to the checkout, so that clones in other folders share the
# compiler cache.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true

jobs=$(nproc)
cmake -S . -B "$build" -G Ninja "${extra[@]}" >/dev/null
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" --output-on-failure -j "$jobs"

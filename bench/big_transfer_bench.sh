#!/usr/bin/env bash
# Peak memory of one very large transfer: `korvex put` and `korvex get` of a
# SIZE_GIB file (default 10) against korvexd, whose demo account is given room
# for it. The file is sparse (zeros cost no disk until korvexd stores them),
# so the run needs about twice SIZE_GIB of free disk: korvexd's copy and the
# downloaded one. Prints wall time, MB/s, CPU seconds per GiB and peak RSS.
#   bench/big_transfer_bench.sh [SIZE_GIB] [BUILD_DIR]     (defaults: 10, build)
set -euo pipefail
size_gib=${1:-10}
build=${2:-build}
korvex=$build/src/cli/korvex
korvexd=$build/emulator/korvexd
for tool in "$korvex" "$korvexd"; do
  [ -x "$tool" ] || { echo "missing $tool: cmake --build $build --target korvex korvexd"; exit 1; }
done
work=$(mktemp -d)
server=""
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT

"$korvexd" --data-dir "$work/data" --seed-demo set-quota alice demo $(((size_gib + 1) << 30)) > /dev/null
source "$(dirname "$0")/korvexd_session.sh"
start_korvexd_logged_in

truncate -s "${size_gib}G" "$work/big.bin"
mkdir -p "$work/back"
row() {  # label, then the command
  local label=$1; shift
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" > /dev/null 2> "$work/stderr" ||
    { echo "$label failed:"; cat "$work/stderr"; exit 1; }
  awk -v l="$label" -v g="$size_gib" \
    '{ printf "%-4s %6.0f s  %7.1f MB/s  cpu %5.2f s/GiB  peak rss %6.1f MiB\n", l, $1, g*1073.741824/$1, ($2+$3)/g, $4/1024 }' \
    "$work/time"
}
echo "one file of $size_gib GiB"
row put "$korvex" put "$work/big.bin" /
row get "$korvex" get /big.bin "$work/back"
cmp -s "$work/big.bin" "$work/back/big.bin" || { echo "BYTES DIFFER"; exit 1; }
echo "bytes identical"

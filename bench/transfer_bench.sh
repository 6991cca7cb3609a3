#!/usr/bin/env bash
# End-to-end transfer figures: `korvex put` and `korvex get` of one file
# against korvexd on loopback, with MB/s, CPU seconds and peak RSS of the
# client. Figures are printed, never judged.
#   bench/transfer_bench.sh [SIZE_MIB] [BUILD_DIR]     (defaults: 1024, build)
set -euo pipefail
size_mib=${1:-1024}
build=${2:-build}
korvex=$build/src/cli/korvex
korvexd=$build/emulator/korvexd
work=$(mktemp -d)
trap 'kill "$server" 2>/dev/null || true; rm -rf "$work"' EXIT

export KORVEX_HOME=$work/home
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
"$korvexd" --data-dir "$work/data" --port 0 --seed-demo > "$work/korvexd.out" 2>/dev/null &
server=$!
for _ in $(seq 100); do grep -q listening "$work/korvexd.out" 2>/dev/null && break; sleep 0.1; done
url=$(sed -n 's/^listening on //p' "$work/korvexd.out")
export KORVEX_WEB_URL=$url KORVEX_API_URL=$url KORVEX_DATA_URL=$url
echo alice-demo-1 | "$korvex" login alice --domain demo --password-stdin > /dev/null

head -c $((size_mib << 20)) /dev/urandom > "$work/file.bin"
mkdir -p "$work/back"

measure() {  # label, then the korvex arguments
  local label=$1; shift
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$korvex" "$@" 2> /dev/null
  read -r wall user sys rss < "$work/time"
  awk -v l="$label" -v s="$size_mib" -v w="$wall" -v u="$user" -v y="$sys" -v r="$rss" \
    'BEGIN { printf "%-4s %6d MiB  %8.1f MB/s  cpu %6.2f s  peak rss %6.1f MiB\n", l, s, s*1.048576/w, u+y, r/1024 }'
}
measure put put "$work/file.bin" /
measure get get /file.bin "$work/back"
cmp -s "$work/file.bin" "$work/back/file.bin" && echo "bytes identical" || { echo "BYTES DIFFER"; exit 1; }

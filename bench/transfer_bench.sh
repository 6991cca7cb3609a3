#!/usr/bin/env bash
# End-to-end transfer figures against korvexd on loopback, all in one run and
# on the same random file:
#   put, put --encrypt and get of `korvex` (MB/s, CPU seconds, peak RSS);
#   a plain libcurl client of the same stream protocol (bench/stream_client:
#   one connection, one request at a time, 1 MiB streams of 32 KiB chunks),
#   the yardstick for korvex, and the ratios of korvex to it;
#   the curl tool moving the file as 1 MiB requests of the block protocol
#   over one connection, as the ceiling of what the service and HTTP allow;
#   rclone copying the file to and from `rclone serve webdav`, when rclone is
#   installed (`apt-get install rclone`; the build does not need it), as a
#   well-tuned general-purpose copier.
# Figures are printed, never judged. Machines shared with other work give
# noisy absolute figures: compare the lines of one run.
#   bench/transfer_bench.sh [SIZE_MIB] [BUILD_DIR]     (defaults: 1024, build)
set -euo pipefail
size_mib=${1:-1024}
build=${2:-build}
korvex=$build/src/cli/korvex
korvexd=$build/emulator/korvexd
stream_client=$build/bench/stream_client
for tool in "$korvex" "$korvexd" "$stream_client"; do
  [ -x "$tool" ] || { echo "missing $tool: cmake --build $build --target korvex korvexd stream_client"; exit 1; }
done
work=$(mktemp -d)
server=""
dav=""
trap 'kill $server $dav 2>/dev/null || true; rm -rf "$work"' EXIT

export KORVEX_HOME=$work/home
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
"$korvexd" --data-dir "$work/data" --port 0 --seed-demo > "$work/korvexd.out" 2>/dev/null &
server=$!
for _ in $(seq 100); do grep -q listening "$work/korvexd.out" 2>/dev/null && break; sleep 0.1; done
url=$(sed -n 's/^listening on //p' "$work/korvexd.out")
export KORVEX_WEB_URL=$url KORVEX_API_URL=$url KORVEX_DATA_URL=$url
echo alice-demo-1 | "$korvex" login alice --domain demo --password-stdin > /dev/null

head -c $((size_mib << 20)) /dev/urandom > "$work/file.bin"
mkdir -p "$work/back" "$work/curl" "$work/dav" "$work/davback"

report() {  # label, then the time file written by /usr/bin/time
  read -r wall user sys rss < "$2"
  echo "$1 $wall" >> "$work/walls"
  awk -v l="$1" -v s="$size_mib" -v w="$wall" -v u="$user" -v y="$sys" -v r="$rss" \
    'BEGIN { printf "%-12s %6d MiB  %8.1f MB/s  cpu %6.2f s  peak rss %6.1f MiB\n", l, s, s*1.048576/w, u+y, r/1024 }'
}
measure() {  # label, then the command
  local label=$1; shift
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" > /dev/null 2> "$work/stderr" ||
    { echo "$label failed:"; cat "$work/stderr"; exit 1; }
  report "$label" "$work/time"
}
wall() { awk -v l="$1" '{ w = $NF; sub(/ [^ ]*$/, ""); if ($0 == l) print w }' "$work/walls"; }

measure "put" "$korvex" put "$work/file.bin" /
measure "get" "$korvex" get /file.bin "$work/back"
cmp -s "$work/file.bin" "$work/back/file.bin" || { echo "korvex: BYTES DIFFER"; exit 1; }
/usr/bin/time -f '%e %U %S %M' -o "$work/time" \
  "$korvex" put --encrypt --password-stdin "$work/file.bin" / <<< "bench-password" > /dev/null 2>&1
report "put encrypt" "$work/time"
rm -f "$work/back/file.bin"

# The plain clients use the session korvex logged in with.
session=$(find "$KORVEX_HOME" -name korvex-session | head -1)
field() { sed -n "s/^$1=//p" "$session"; }
auth=$(field AUTH_PRO)
cookies="AUTH_PRO=$auth; PHPSESSID=$(field PHPSESSID)"
size=$((size_mib << 20))
token_of() { sed -n 's/^[Ss]et-[Cc]ookie: TOKEN=\([^;]*\).*/\1/p' "$work/headers" | tr -d '\r'; }
preupload() {  # name; sets id and token
  local answer
  answer=$(curl -s -D "$work/headers" -b "$cookies" --data \
    "dirid=$(field dirid)&filename=$1&size=$size&over%5Fride=1&lastmodifytime=0&sec=0" "$url/file/preupload")
  id=${answer%%.*}
  token=$(token_of)
}
uploadover() { curl -s -b "$cookies" "$url/file/uploadover/$id/0?product=smb&a=$auth&t=$token" > /dev/null; }
predownload() {  # sets token
  curl -s -D "$work/headers" -b "$cookies" "$url/file/predownloadnoredirect/$id" > /dev/null
  token=$(token_of)
}

preupload stream.bin
measure "curl put" "$stream_client" put "$url" "$id" "$token" "$cookies" "$work/file.bin" $size
uploadover
predownload
measure "curl get" "$stream_client" get "$url" "$id" "$token" "$cookies" "$work/curl/back.bin" $size
cmp -s "$work/curl/back.bin" "$work/file.bin" || { echo "curl: BYTES DIFFER"; exit 1; }
rm -f "$work/curl/back.bin"

# The curl tool: every MiB as one block request over one kept-alive connection.
preupload block.bin
split -b 1M -d -a 5 "$work/file.bin" "$work/curl/piece."
{
  offset=0
  for piece in "$work"/curl/piece.*; do
    end=$((offset + $(stat -c %s "$piece")))
    [ $offset -eq 0 ] || echo next
    printf 'url = "%s/file/uploadblock/%s.bin/a=%s&t=%s&random=1"\ncookie = "%s"\n' "$url" "$id" "$auth" "$token" "$cookies"
    printf 'header = "range:bytes=%d-%d"\nheader = "x-korvex-range:bytes=%d-%d"\n' $offset $end $offset $end
    printf 'data-binary = "@%s"\noutput = "/dev/null"\n' "$piece"
    offset=$end
  done
} > "$work/up.conf"
measure "block put" curl -sf -K "$work/up.conf"
rm -f "$work"/curl/piece.*
uploadover
predownload
{
  for ((offset = 0, n = 0; offset < size; offset += 1048576, n++)); do
    last=$((offset + 1048576 > size ? size - 1 : offset + 1048575))
    [ $offset -eq 0 ] || echo next
    printf 'url = "%s/file/downloadblock/%s?a=%s&t=%s&random=1"\ncookie = "%s"\n' "$url" "$id" "$auth" "$token" "$cookies"
    printf 'header = "range:bytes=%d-%d"\nheader = "x-korvex-range:bytes=%d-%d"\n' $offset $last $offset $last
    printf 'output = "%s/curl/back.%05d"\n' "$work" $n
  done
} > "$work/down.conf"
measure "block get" curl -sf -K "$work/down.conf"
cat "$work"/curl/back.* | cmp -s - "$work/file.bin" || { echo "curl: BYTES DIFFER"; exit 1; }
rm -f "$work"/curl/back.*

awk -v p="$(wall put)" -v g="$(wall get)" -v e="$(wall "put encrypt")" \
    -v cp="$(wall "curl put")" -v cg="$(wall "curl get")" \
  'BEGIN { printf "korvex/curl  put %3.0f%%  get %3.0f%%    put encrypt takes %.2fx put\n", 100*cp/p, 100*cg/g, e/p }'

if command -v rclone > /dev/null; then
  port=$((20000 + RANDOM % 20000))
  rclone serve webdav "$work/dav" --addr "127.0.0.1:$port" --config /dev/null > /dev/null 2>&1 &
  dav=$!
  for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
  remote=(--config /dev/null --webdav-url "http://127.0.0.1:$port")
  measure "rclone put" rclone copyto "$work/file.bin" :webdav:file.bin "${remote[@]}"
  measure "rclone get" rclone copyto :webdav:file.bin "$work/davback/file.bin" "${remote[@]}"
  cmp -s "$work/file.bin" "$work/davback/file.bin" || { echo "rclone: BYTES DIFFER"; exit 1; }
else
  echo "rclone       not installed: no figures"
fi
echo "bytes identical"

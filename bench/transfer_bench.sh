#!/usr/bin/env bash
# End-to-end transfer figures on loopback, all in one run, each row measured
# ROUNDS times in turn (so that a burst of other work on the machine hits
# every row alike) and printed as the median:
#   put, put --encrypt and get of `korvex` against korvexd (MB/s, CPU seconds
#   per GiB, peak RSS);
#   the yardstick: a plain libcurl client of the same stream protocol
#   (bench/stream_client: 1 MiB streams of 32 KiB chunks, 5 chunks in flight,
#   no task store, no progress, no checks), and the ratios of korvex to it;
#   the same client checking each stream's MD5 as korvex does ("plain+md5"),
#   so that the CPU ratio compares like with like;
#   the curl tool moving the file as 1 MiB requests of the block protocol
#   over one connection, as the ceiling of what korvexd and HTTP allow;
#   rclone copying the file to and from `rclone serve webdav` (Debian package
#   rclone; the build does not need it, its rows are skipped without it), as
#   a well-tuned general-purpose copier;
#   FILES small files of 4 KiB put and got by korvex as one folder, against
#   the curl tool moving them over one connection to the same webdav server.
# Figures are printed, never judged. Machines shared with other work give
# noisy absolute figures: compare the lines of one run.
#   bench/transfer_bench.sh [SIZE_MIB] [BUILD_DIR]     (defaults: 1024, build)
#   environment: ROUNDS (3), FILES (1000)
set -euo pipefail
size_mib=${1:-1024}
build=${2:-build}
rounds=${ROUNDS:-3}
files=${FILES:-1000}
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

source "$(dirname "$0")/korvexd_session.sh"
start_korvexd_logged_in

head -c $((size_mib << 20)) /dev/urandom > "$work/file.bin"
mkdir -p "$work/back" "$work/curl" "$work/dav" "$work/davback" "$work/rows" "$work/small"
echo bench-password > "$work/password"
for ((i = 0; i < files; i++)); do head -c 4096 /dev/urandom > "$work/small/f$i.bin"; done

measure() {  # label, then the command; appends "wall cpu rss" to the label's row
  local label=$1; shift
  # Each row starts with nothing left to write back: otherwise a row pays for
  # the gigabytes the row before it left in the page cache.
  sync
  /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" > /dev/null 2> "$work/stderr" < "${stdin:-/dev/null}" ||
    { echo "$label failed:"; cat "$work/stderr"; exit 1; }
  awk '{ print $1, $2 + $3, $4 }' "$work/time" >> "$work/rows/$label"
}
median() {  # label, column (1 wall, 2 cpu, 3 rss)
  [ -s "$work/rows/$1" ] || { echo 0; return; }
  awk -v c="$2" '{ print $c }' "$work/rows/$1" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}
same() { cmp -s "$1" "$2" || { echo "$3: BYTES DIFFER"; exit 1; }; }

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

korvex_rows() {  # round
  "$korvex" mkdir "/r$1" > /dev/null
  measure "put" "$korvex" put "$work/file.bin" "/r$1"
  measure "get" "$korvex" get "/r$1/file.bin" "$work/back"
  same "$work/file.bin" "$work/back/file.bin" korvex
  rm -f "$work/back/file.bin"
  stdin=$work/password measure "put encrypt" "$korvex" put --encrypt --password-stdin "$work/file.bin" "/r$1"
  "$korvex" mkdir "/s$1" > /dev/null
  measure "small put" "$korvex" put "$work/small" "/s$1"
  measure "small get" "$korvex" get "/s$1/small" "$work/back"
  diff -rq "$work/small" "$work/back/small" > /dev/null || { echo "korvex small files: BYTES DIFFER"; exit 1; }
  rm -rf "$work/back/small"
}

plain_rows() {  # round
  preupload "stream$1.bin"
  measure "plain put" "$stream_client" put "$url" "$id" "$token" "$cookies" "$work/file.bin" $size 5
  uploadover
  predownload
  measure "plain get" "$stream_client" get "$url" "$id" "$token" "$cookies" "$work/curl/back.bin" $size 5
  same "$work/curl/back.bin" "$work/file.bin" "plain client"
  rm -f "$work/curl/back.bin"
  preupload "streammd5$1.bin"
  measure "plain+md5 put" "$stream_client" put "$url" "$id" "$token" "$cookies" "$work/file.bin" $size 5 md5
  uploadover
  predownload
  measure "plain+md5 get" "$stream_client" get "$url" "$id" "$token" "$cookies" "$work/curl/back.bin" $size 5 md5
  same "$work/curl/back.bin" "$work/file.bin" "plain client with MD5"
  rm -f "$work/curl/back.bin"
}

# The curl tool: every MiB as one block request over one kept-alive connection.
block_rows() {  # round
  preupload "block$1.bin"
  split -b 1M -d -a 5 "$work/file.bin" "$work/curl/piece."
  local offset=0 end piece n last
  for piece in "$work"/curl/piece.*; do
    end=$((offset + $(stat -c %s "$piece")))
    [ $offset -eq 0 ] || echo next
    printf 'url = "%s/file/uploadblock/%s.bin/a=%s&t=%s&random=1"\ncookie = "%s"\n' "$url" "$id" "$auth" "$token" "$cookies"
    printf 'header = "range:bytes=%d-%d"\nheader = "x-korvex-range:bytes=%d-%d"\n' $offset $end $offset $end
    printf 'data-binary = "@%s"\noutput = "/dev/null"\n' "$piece"
    offset=$end
  done > "$work/up.conf"
  measure "block put" curl -sf -K "$work/up.conf"
  rm -f "$work"/curl/piece.*
  uploadover
  predownload
  for ((offset = 0, n = 0; offset < size; offset += 1048576, n++)); do
    last=$((offset + 1048576 > size ? size - 1 : offset + 1048575))
    [ $offset -eq 0 ] || echo next
    printf 'url = "%s/file/downloadblock/%s?a=%s&t=%s&random=1"\ncookie = "%s"\n' "$url" "$id" "$auth" "$token" "$cookies"
    printf 'header = "range:bytes=%d-%d"\nheader = "x-korvex-range:bytes=%d-%d"\n' $offset $last $offset $last
    printf 'output = "%s/curl/back.%05d"\n' "$work" $n
  done > "$work/down.conf"
  measure "block get" curl -sf -K "$work/down.conf"
  cat "$work"/curl/back.* | cmp -s - "$work/file.bin" || { echo "block curl: BYTES DIFFER"; exit 1; }
  rm -f "$work"/curl/back.*
}

dav_rows() {  # round
  local remote=(--config /dev/null --webdav-url "$dav_url") i
  measure "rclone put" rclone copyto "$work/file.bin" ":webdav:file$1.bin" "${remote[@]}"
  measure "rclone get" rclone copyto ":webdav:file$1.bin" "$work/davback/file.bin" "${remote[@]}"
  same "$work/file.bin" "$work/davback/file.bin" rclone
  rm -f "$work/davback/file.bin" "$work/dav/file$1.bin"
  # Small files: one curl process, one connection, one request per file.
  curl -sf -X MKCOL "$dav_url/small$1/" > /dev/null
  mkdir -p "$work/davback/small$1"
  for ((i = 0; i < files; i++)); do
    printf 'upload-file = "%s/small/f%d.bin"\nurl = "%s/small%d/f%d.bin"\n' "$work" $i "$dav_url" "$1" $i
  done > "$work/davput.conf"
  for ((i = 0; i < files; i++)); do
    printf 'url = "%s/small%d/f%d.bin"\noutput = "%s/davback/small%d/f%d.bin"\n' "$dav_url" "$1" $i "$work" "$1" $i
  done > "$work/davget.conf"
  measure "dav small put" curl -sf -K "$work/davput.conf"
  measure "dav small get" curl -sf -K "$work/davget.conf"
  diff -rq "$work/small" "$work/davback/small$1" > /dev/null || { echo "curl small files: BYTES DIFFER"; exit 1; }
  rm -rf "$work/davback/small$1"
}

have_rclone=0
if command -v rclone > /dev/null; then
  have_rclone=1
  port=$((20000 + RANDOM % 20000))
  dav_url="http://127.0.0.1:$port"
  rclone serve webdav "$work/dav" --addr "127.0.0.1:$port" --config /dev/null > /dev/null 2>&1 &
  dav=$!
  for _ in $(seq 100); do curl -s -o /dev/null "$dav_url/" && break; sleep 0.1; done
fi

for ((round = 1; round <= rounds; round++)); do
  korvex_rows $round
  plain_rows $round
  block_rows $round
  [ $have_rclone -eq 0 ] || dav_rows $round
  # korvexd's account holds 10 GiB: a round of 1 GiB files leaves room for the next.
  "$korvex" rm "/r$round" "/s$round" "/stream$round.bin" "/streammd5$round.bin" "/block$round.bin" > /dev/null
done

echo "medians of $rounds rounds, $size_mib MiB file, $files files of 4 KiB"
for label in put get "put encrypt" "plain put" "plain get" "plain+md5 put" "plain+md5 get" "block put" "block get" "rclone put" "rclone get"; do
  [ -s "$work/rows/$label" ] || continue
  awk -v l="$label" -v s="$size_mib" -v w="$(median "$label" 1)" -v c="$(median "$label" 2)" \
      -v r="$(median "$label" 3)" \
    'BEGIN { printf "%-14s %8.1f MB/s  cpu %5.2f s/GiB  peak rss %6.1f MiB\n", l, s*1.048576/w, c*1024/s, r/1024 }'
done
for label in "small put" "small get" "dav small put" "dav small get"; do
  [ -s "$work/rows/$label" ] || continue
  awk -v l="$label" -v n="$files" -v w="$(median "$label" 1)" -v c="$(median "$label" 2)" \
      -v r="$(median "$label" 3)" \
    'BEGIN { printf "%-14s %8.0f files/s  cpu %5.2f s  peak rss %6.1f MiB\n", l, n/w, c, r/1024 }'
done

ratio() {  # text, label a, label b: speed of a over speed of b, and a's CPU over b's
  [ -s "$work/rows/$2" ] && [ -s "$work/rows/$3" ] || { printf '%-34s no figures\n' "$1"; return; }
  awk -v t="$1" -v wa="$(median "$2" 1)" -v wb="$(median "$3" 1)" -v ca="$(median "$2" 2)" -v cb="$(median "$3" 2)" \
    'BEGIN { printf "%-34s speed %5.2f   cpu %5.2fx\n", t, wb/wa, (cb > 0 ? ca/cb : 0) }'
}
echo "ratios (korvex to the yardstick; speed above 1 is faster, cpu below 1 is cheaper)"
ratio "put / plain client put" put "plain put"
ratio "get / plain client get" get "plain get"
ratio "put / plain+md5 put" put "plain+md5 put"
ratio "get / plain+md5 get" get "plain+md5 get"
ratio "put / block curl put" put "block put"
ratio "get / block curl get" get "block get"
if [ $have_rclone -eq 1 ]; then
  ratio "put / rclone put" put "rclone put"
  ratio "get / rclone get" get "rclone get"
  ratio "small put / curl to webdav" "small put" "dav small put"
  ratio "small get / curl to webdav" "small get" "dav small get"
else
  echo "rclone not installed (apt-get install rclone): no rclone or webdav rows"
fi
ratio "put encrypt / put" "put encrypt" put
echo "bytes identical"

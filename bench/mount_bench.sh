#!/usr/bin/env bash
# `korvex mount` against korvexd on loopback, next to `rclone mount` of
# `rclone serve webdav` (Debian package rclone; its column is left empty
# without it), in one run:
#   sequential write: cp of a SIZE_MIB file into the mount, until close()
#     returned (for korvex that is after the upload ended);
#   sequential read: cat of that file from a fresh mount (nothing cached);
#   random 4 KiB reads per second: READS reads at random offsets of that
#     file from a fresh mount, then the same READS offsets again (warm);
#   ls -l of a folder of 10,000 files from a fresh mount.
# Figures are printed, never judged; machines shared with other work give
# noisy figures: compare the columns of one run.
#   bench/mount_bench.sh [SIZE_MIB] [BUILD_DIR]     (defaults: 256, build)
#   environment: READS (400)
set -euo pipefail
size_mib=${1:-256}
build=${2:-build}
reads=${READS:-400}
items=10000
korvex=$build/src/cli/korvex
korvexd=$build/emulator/korvexd
for tool in "$korvex" "$korvexd" sqlite3 python3 fusermount3; do
  command -v "$tool" > /dev/null || { echo "missing $tool"; exit 1; }
done
work=$(mktemp -d)
server="" dav="" kmount="" rmount=""
cleanup() {
  for m in "$work/kmnt" "$work/rmnt"; do mountpoint -q "$m" 2>/dev/null && fusermount3 -uz "$m"; done
  kill $server $dav $kmount $rmount 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/kmnt" "$work/rmnt" "$work/dav/Many"
export KORVEX_HOME=$work/home
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY

start_korvexd() {
  "$korvexd" --data-dir "$work/data" --port 0 "$@" > "$work/korvexd.out" 2>/dev/null &
  server=$!
  for _ in $(seq 100); do grep -q listening "$work/korvexd.out" 2>/dev/null && break; sleep 0.1; done
}
# A folder of 10,000 files is written into korvexd's database directly:
# 10,000 uploads would measure uploads, not listings.
start_korvexd --seed-demo
kill $server; wait $server 2>/dev/null || true
sqlite3 "$work/data/korvexd.sqlite" <<SQL
BEGIN;
INSERT INTO dirs(owner, parent, name, created) SELECT id, root_dir, 'Many', 0 FROM users WHERE name='alice';
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < $items)
INSERT INTO files(dir, owner, name, size, mtime, ctime, state, sec, md5, blob)
  SELECT (SELECT max(id) FROM dirs), u.id, printf('file%06d.txt', n.i), 1, 1700000000, 1700000000, 0, 0, '', ''
  FROM n, users u WHERE u.name='alice';
COMMIT;
SQL
start_korvexd
url=$(sed -n 's/^listening on //p' "$work/korvexd.out")
export KORVEX_WEB_URL=$url KORVEX_API_URL=$url KORVEX_DATA_URL=$url
echo alice-demo-1 | "$korvex" login alice --domain demo --password-stdin > /dev/null
(cd "$work/dav/Many" && seq -f 'file%06g.txt' 0 $((items - 1)) | xargs touch)
head -c $((size_mib << 20)) /dev/urandom > "$work/file.bin"

have_rclone=0
if command -v rclone > /dev/null; then
  have_rclone=1
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  rclone serve webdav "$work/dav" --addr "127.0.0.1:$port" --config /dev/null > /dev/null 2>&1 &
  dav=$!
  for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
fi

wait_mounted() {
  for _ in $(seq 200); do mountpoint -q "$1" && return 0; sleep 0.05; done
  echo "$1 did not mount"; exit 1
}
mount_korvex() {  # a fresh mount with an empty cache
  [ -z "$kmount" ] || { fusermount3 -u "$work/kmnt"; wait $kmount 2>/dev/null || true; }
  rm -rf "$work/kcache"
  "$korvex" mount "$work/kmnt" --cache-dir "$work/kcache" --cache-size 4G > /dev/null 2> "$work/kmount.err" &
  kmount=$!
  wait_mounted "$work/kmnt"
}
mount_rclone() {
  [ -z "$rmount" ] || { fusermount3 -u "$work/rmnt"; wait $rmount 2>/dev/null || true; }
  rclone mount :webdav: "$work/rmnt" --webdav-url "http://127.0.0.1:$port" --config /dev/null \
    --vfs-cache-mode off --dir-cache-time 1s > /dev/null 2>&1 &
  rmount=$!
  wait_mounted "$work/rmnt"
}
seconds() {  # the wall time of the command, in seconds
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
random_reads() {  # file; prints cold and warm reads per second
  python3 - "$1" "$reads" <<'PY'
import os, random, sys, time
path, count = sys.argv[1], int(sys.argv[2])
fd = os.open(path, os.O_RDONLY)
size = os.fstat(fd).st_size
random.seed(33)
offsets = [random.randrange(0, size - 4096) for _ in range(count)]
rates = []
for _ in range(2):
    start = time.monotonic()
    for o in offsets:
        if len(os.pread(fd, 4096, o)) != 4096: sys.exit("short read")
    rates.append(count / (time.monotonic() - start))
print("%.0f %.0f" % tuple(rates))
PY
}
rate() { echo "scale=1; $size_mib / $1" | bc -l; }

column() {  # mount dir, folder inside it, remount function; prints: write read cold warm ls
  local dir=$1 inside=$2 remount=$3 w r rr l
  w=$(seconds cp "$work/file.bin" "$dir/$inside/file.bin")
  $remount
  r=$(seconds cat "$dir/$inside/file.bin")
  cmp -s "$work/file.bin" "$dir/$inside/file.bin" || { echo "$dir: BYTES DIFFER"; exit 1; }
  $remount
  rr=$(random_reads "$dir/$inside/file.bin")
  $remount
  l=$(seconds ls -l "$dir/$inside/Many")
  [ "$(ls "$dir/$inside/Many" | wc -l)" -eq $items ] || { echo "$dir: listing incomplete"; exit 1; }
  echo "$(rate "$w") $(rate "$r") $rr $l"
}

# Run in this shell (not in a command substitution), so that the mounts
# started inside are this shell's to end.
mount_korvex
column "$work/kmnt" "My Disk" mount_korvex > "$work/korvex.row"
read -r kw kr krc krw kl < "$work/korvex.row"
rw="-" rr="-" rrc="-" rrw="-" rl="-"
if [ $have_rclone -eq 1 ]; then
  mount_rclone
  column "$work/rmnt" "." mount_rclone > "$work/rclone.row"
  read -r rw rr rrc rrw rl < "$work/rclone.row"
fi
printf '%-36s %14s %14s\n' "mount of a ${size_mib} MiB file" "korvex mount" "rclone mount"
printf '%-36s %14s %14s\n' "sequential write (MiB/s)" "$kw" "$rw"
printf '%-36s %14s %14s\n' "sequential read, cold (MiB/s)" "$kr" "$rr"
printf '%-36s %14s %14s\n' "random 4 KiB reads/s, cold" "$krc" "$rrc"
printf '%-36s %14s %14s\n' "random 4 KiB reads/s, again" "$krw" "$rrw"
printf '%-36s %14s %14s\n' "ls -l of $items files, cold (s)" "$(printf %.2f "$kl")" \
  "$([ "$rl" = - ] && echo - || printf %.2f "$rl")"

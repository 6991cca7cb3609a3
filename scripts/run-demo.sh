#!/usr/bin/env bash
# Runs the demo against the embedded local service: builds korvexd, starts it
# with the demo accounts in a temporary data folder, logs in as alice, shows
# her root directory and stops the service again.
#   scripts/run-demo.sh            port 8790
#   KORVEX_DEMO_PORT=0 scripts/run-demo.sh   any free port
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/bootstrap-deps.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=true
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target korvexd

port=${KORVEX_DEMO_PORT:-8790}
data=$(mktemp -d "${TMPDIR:-/tmp}/korvexd-demo-XXXXXX")
out="$data/stdout"
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; fi
  rm -rf "$data"
}
trap cleanup EXIT

build/emulator/korvexd --data-dir "$data/service" --host 127.0.0.1 --port "$port" --seed-demo >"$out" &
pid=$!
for _ in $(seq 100); do
  [ -s "$out" ] && break
  kill -0 "$pid" 2>/dev/null || { echo "korvexd did not start" >&2; exit 1; }
  sleep 0.1
done
base=$(sed -n 's/^listening on //p' "$out" | head -1)
[ -n "$base" ] || { echo "korvexd printed no listening line" >&2; exit 1; }
echo "korvexd is $base (data in $data/service)"

jar="$data/cookies"
login=$(curl -sS -c "$jar" -X POST -H 'Content-Type: application/x-www-form-urlencoded' \
  --data 'loginname=alice&password=alice%2Ddemo%2D1&domain=demo&macaddr=' "$base/2nddomain/loginnorandom")
root=$(printf '%s' "$login" | python3 -c 'import json,sys; print(json.load(sys.stdin)["dirid"])')
echo "logged in as alice (root directory $root)"

dirs=$(curl -sS -b "$jar" "$base/directory/listandcount/$root")
files=$(curl -sS -b "$jar" "$base/file/listrandom/$root/LOGO/title/0/100")
python3 - "$dirs" "$files" <<'EOF'
import json, sys
dirs, files = json.loads(sys.argv[1]), json.loads(sys.argv[2])
print("\nMy Cloud/")
for d in dirs.get("list", []):
    owner = f"  (shared by {d['ownername']})" if d.get("ownername") else ""
    print(f"  [dir]  {d['dirname']}/{owner}")
for f in files.get("list", []):
    print(f"  {int(f['size']):>8} B  {f['name']:<24} modified {f['modifytime']}")
print(f"\n{len(dirs.get('list', []))} folders, {dirs.get('files', 0)} files")
EOF
